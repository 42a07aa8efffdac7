// Every float's bit pattern, printed as "%.9g" (the shortest form that
// always reads back) and as "%a", through the readers: the scalar decimal
// reader, the AVX-512 decimal run reader where the machine runs it, the
// hexadecimal reader and the whole token reader. Each must give the bits
// of the C library's "%f" scan of the same text, and take every form it is
// meant for.
//
// The whole sweep is 2^32 patterns. ITSOLV_FLOAT_STRIDE=s checks every s-th
// pattern only, from an offset that ITSOLV_FLOAT_SEED chooses (a new seed
// each run when unset; the run prints the one it used, to repeat it).
#include <gtest/gtest.h>

#include <atomic>
#include <bit>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "kernels/isa_table.hpp"
#include "parse/number_token.hpp"
#include "base/workers.hpp"

namespace {

constexpr uint64_t kPatterns = uint64_t{1} << 32;
constexpr uint64_t kBlock = uint64_t{1} << 16;  // patterns a member takes at a time

uint64_t from_environment(const char* name, uint64_t otherwise) {
  const char* text = std::getenv(name);
  return text != nullptr && *text != '\0' ? std::strtoull(text, nullptr, 0) : otherwise;
}

struct Mismatches {
  std::atomic<uint64_t> count{0};
  std::mutex print;
  void add(const char* reader, uint32_t pattern, const char* text, bool taken, float got, float scanned) {
    if (count.fetch_add(1) >= 20) return;
    const std::lock_guard<std::mutex> lock(print);
    std::printf("%08x %s \"%s\": %s %08x, the scan %08x\n", pattern, reader, text, taken ? "read" : "not taken",
                std::bit_cast<uint32_t>(got), std::bit_cast<uint32_t>(scanned));
  }
};

// A token padded with the white space the run readers need after it.
struct Padded {
  char text[128];
  int length = 0;
  Padded() { std::memset(text, ' ', sizeof text); }
  void set(const char* token) {
    std::memset(text, ' ', static_cast<size_t>(length));
    length = static_cast<int>(std::strlen(token));
    std::memcpy(text, token, static_cast<size_t>(length));
  }
};

void check(uint32_t pattern, itsolv::DecimalRunReader run, Padded& padded, Mismatches& out) {
  const float f = std::bit_cast<float>(pattern);
  const bool finite = std::isfinite(f);
  char decimal[32], hex[40];
  std::snprintf(decimal, sizeof decimal, "%.9g", f);
  std::snprintf(hex, sizeof hex, "%a", static_cast<double>(f));
  float want = 0, v = 0;
  for (const char* text : {decimal, hex}) {
    int used = -1;
    const bool scanned = std::sscanf(text, "%f%n", &want, &used) == 1 && used == static_cast<int>(std::strlen(text));
    const bool whole = itsolv::parse_float(text, text + std::strlen(text), v);
    if (!scanned || !whole || std::bit_cast<uint32_t>(v) != std::bit_cast<uint32_t>(want))
      out.add("parse_float", pattern, text, whole, v, want);
    if (text == hex) break;
    padded.set(decimal);
    const int length = itsolv::read_decimal(padded.text, v);
    if (length != (finite ? padded.length : 0) ||
        (finite && std::bit_cast<uint32_t>(v) != std::bit_cast<uint32_t>(want)))
      out.add("read_decimal", pattern, decimal, length != 0, v, want);
    const char* q = padded.text;
    float vals[1 + 8] = {};
    if (run != nullptr && (run(q, 1, vals) != finite || q - padded.text != (finite ? padded.length : 0) ||
                           (finite && std::bit_cast<uint32_t>(vals[0]) != std::bit_cast<uint32_t>(want))))
      out.add("decimal run", pattern, decimal, q != padded.text, vals[0], want);
  }
  // The hexadecimal reader leaves the values below the normal floats to the
  // scan; it takes every other finite one.
  const bool hex_form = finite && (f == 0 || std::fabs(f) >= 0x1p-126f);
  const bool taken = itsolv::parse_hex_form(hex, hex + std::strlen(hex), v);
  if (taken != hex_form || (taken && std::bit_cast<uint32_t>(v) != std::bit_cast<uint32_t>(want)))
    out.add("parse_hex_form", pattern, hex, taken, v, want);
}

}  // namespace

TEST(EveryFloat, ReadsAsTheScanDoes) {
  const uint64_t stride = std::max<uint64_t>(from_environment("ITSOLV_FLOAT_STRIDE", 1), 1);
  const uint64_t seed = from_environment(
      "ITSOLV_FLOAT_SEED", static_cast<uint64_t>(std::chrono::system_clock::now().time_since_epoch().count()));
  const uint64_t offset = seed % stride;
  const uint64_t patterns = (kPatterns - offset + stride - 1) / stride;
  std::printf("ITSOLV_FLOAT_STRIDE=%llu ITSOLV_FLOAT_SEED=%llu: %llu patterns from %llu\n",
              static_cast<unsigned long long>(stride), static_cast<unsigned long long>(seed),
              static_cast<unsigned long long>(patterns), static_cast<unsigned long long>(offset));
  const itsolv::DecimalRunReader run = itsolv::isa_table(itsolv::Isa::avx512).decimal_reader;
  if (run == nullptr) std::printf("no AVX-512 decimal reader on this machine\n");
  Mismatches mismatches;
  itsolv::Workers workers;
  workers.for_each((patterns + kBlock - 1) / kBlock, [&](size_t block) {
    Padded padded;
    const uint64_t end = std::min(patterns, (block + 1) * kBlock);
    for (uint64_t i = block * kBlock; i < end; ++i)
      check(static_cast<uint32_t>(offset + i * stride), run, padded, mismatches);
  });
  EXPECT_EQ(mismatches.count.load(), 0u);
}

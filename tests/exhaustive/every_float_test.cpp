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

#include "base/workers.hpp"
#include "kernels/isa_table.hpp"
#include "parse/number_token.hpp"
#include "support/float_bits.hpp"

namespace {

using testing_support::bits;
using testing_support::same_bits;

uint64_t from_environment(const char* name, uint64_t otherwise) {
  const char* text = std::getenv(name);
  return text != nullptr && *text != '\0' ? std::strtoull(text, nullptr, 0) : otherwise;
}

struct Mismatches {
  std::atomic<uint64_t> count{0};
  std::mutex print;
  // Notes a mismatch unless `sound`; prints the first 20.
  void unless(bool sound, const char* reader, uint32_t pattern, const char* text, bool taken, float got, float want) {
    if (sound || count.fetch_add(1) >= 20) return;
    const std::lock_guard<std::mutex> lock(print);
    std::printf("%08x %s \"%s\": %s %08x, the scan %08x\n", pattern, reader, text, taken ? "read" : "not taken",
                bits(got), bits(want));
  }
};

// `pattern` as "%.9g" through parse_float, read_decimal and the decimal run
// reader `run` (when there is one), and as "%a" through parse_float and
// parse_hex_form. `padded` holds white space, which the run readers need
// after a token; it is given back so.
void check(uint32_t pattern, itsolv::DecimalRunReader run, char (&padded)[128], Mismatches& out) {
  const float f = std::bit_cast<float>(pattern);
  const bool finite = std::isfinite(f);
  char decimal[32], hex[40];
  std::snprintf(decimal, sizeof decimal, "%.9g", f);
  std::snprintf(hex, sizeof hex, "%a", static_cast<double>(f));
  const char* const texts[2] = {decimal, hex};
  float wants[2] = {}, v = 0;
  for (int k = 0; k < 2; ++k) {
    int used = -1;
    const size_t size = std::strlen(texts[k]);
    const bool scanned = std::sscanf(texts[k], "%f%n", &wants[k], &used) == 1 && used == static_cast<int>(size);
    const bool whole = itsolv::parse_float(texts[k], texts[k] + size, v);
    out.unless(scanned && whole && same_bits(v, wants[k]), "parse_float", pattern, texts[k], whole, v, wants[k]);
  }
  const float want = wants[0];
  const int length = static_cast<int>(std::strlen(decimal)), expected = finite ? length : 0;
  std::memcpy(padded, decimal, static_cast<size_t>(length));
  const int read = itsolv::read_decimal(padded, v);
  out.unless(read == expected && (!finite || same_bits(v, want)), "read_decimal", pattern, decimal, read != 0, v, want);
  const char* q = padded;
  float vals[1 + 8] = {};
  const bool run_sound =
      run == nullptr || (run(q, 1, vals) == finite && q - padded == expected && (!finite || same_bits(vals[0], want)));
  out.unless(run_sound, "decimal run", pattern, decimal, q != padded, vals[0], want);
  std::memset(padded, ' ', static_cast<size_t>(length));
  // The hexadecimal reader leaves the values below the normal floats to the
  // scan; it takes every other finite one.
  const bool taken = itsolv::parse_hex_form(hex, hex + std::strlen(hex), v);
  out.unless(taken == (finite && (f == 0 || std::fabs(f) >= 0x1p-126f)) && (!taken || same_bits(v, wants[1])),
             "parse_hex_form", pattern, hex, taken, v, wants[1]);
}

}  // namespace

TEST(EveryFloat, ReadsAsTheScanDoes) {
  constexpr uint64_t kPatterns = uint64_t{1} << 32, kBlock = uint64_t{1} << 16;  // patterns a member takes at a time
  const uint64_t stride = std::max<uint64_t>(from_environment("ITSOLV_FLOAT_STRIDE", 1), 1);
  const uint64_t seed = from_environment(
      "ITSOLV_FLOAT_SEED", static_cast<uint64_t>(std::chrono::system_clock::now().time_since_epoch().count()));
  const uint64_t offset = seed % stride, patterns = (kPatterns - offset + stride - 1) / stride;
  std::printf("ITSOLV_FLOAT_STRIDE=%llu ITSOLV_FLOAT_SEED=%llu: %llu patterns from %llu\n",
              static_cast<unsigned long long>(stride), static_cast<unsigned long long>(seed),
              static_cast<unsigned long long>(patterns), static_cast<unsigned long long>(offset));
  const itsolv::DecimalRunReader run = itsolv::isa_table(itsolv::Isa::avx512).decimal_reader;
  if (run == nullptr) std::printf("no AVX-512 decimal reader on this machine\n");
  Mismatches mismatches;
  itsolv::Workers().for_each((patterns + kBlock - 1) / kBlock, [&](size_t block) {
    char padded[128];
    std::memset(padded, ' ', sizeof padded);
    for (uint64_t i = block * kBlock; i < std::min(patterns, (block + 1) * kBlock); ++i)
      check(static_cast<uint32_t>(offset + i * stride), run, padded, mismatches);
  });
  EXPECT_EQ(mismatches.count.load(), 0u);
}

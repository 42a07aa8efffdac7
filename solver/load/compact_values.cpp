#include "load/compact_values.hpp"

#include <algorithm>

#include "kernels/isa_table.hpp"
#include "load/value_sources.hpp"
#include "load/widening.hpp"

namespace itsolv {
namespace {

// Keeps every value as a float: the run holds too many that do not fit a
// byte for the byte form to save memory.
void widen_all(CompactValues& v) {
  copy_values(v, 0, v.count, v.wide);
  std::vector<int8_t>().swap(v.small);
  std::vector<std::pair<uint32_t, float>>().swap(v.others);
}

}  // namespace

int64_t read_compact(const char* text, int64_t count, Isa isa, CompactValues& v, const char*& bad_begin,
                     const char*& bad_end) {
  v = CompactValues{};
  v.small.resize(static_cast<size_t>(count) + kBlockValues);
  TextSource in(text, isa_table(isa).short_reader, nullptr);
  int64_t k = 0, bad = -1;
  while (k < count) {
    k += in.shorts(&v.small[static_cast<size_t>(k)], static_cast<int32_t>(std::min<int64_t>(count - k, kRun)));
    if (k == count) break;
    Token t;
    if (!in.next(t)) {
      bad = k;
      bad_begin = in.bad;
      bad_end = in.q;
      break;
    }
    if (storage_for(t.value) == Storage::i8) {
      v.small[static_cast<size_t>(k)] = static_cast<int8_t>(t.value);
    } else {
      v.small[static_cast<size_t>(k)] = 0;
      v.others.emplace_back(static_cast<uint32_t>(k), t.value);
    }
    ++k;
  }
  v.count = k;
  // A float kept aside takes eight bytes, and one in the byte form nine.
  if (v.others.size() > static_cast<size_t>(k / 8)) widen_all(v);
  return bad;
}

void place_compact(Problem& p, std::span<const CompactValues> runs, int64_t first, int64_t end) {
  int64_t values = 0;
  for (const CompactValues& run : runs) values += run.count;
  const int64_t count = std::min(first + values, end) - first;
  if (count > 0) place_widening(p, first + count, [&] { return place_values(p, runs, first, count); });
}

void copy_values(const CompactValues& v, int64_t from, int64_t to, std::vector<float>& out) {
  const size_t at = out.size();
  if (!v.wide.empty()) {
    out.insert(out.end(), v.wide.begin() + from, v.wide.begin() + to);
    return;
  }
  out.insert(out.end(), v.small.begin() + from, v.small.begin() + to);
  for (const auto& [k, value] : v.others)
    if (k >= from && k < to) out[at + static_cast<size_t>(k - from)] = value;
}

}  // namespace itsolv

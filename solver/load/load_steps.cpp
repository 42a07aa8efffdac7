#include "load/load_steps.hpp"

#include <algorithm>
#include <string>

#include "base/failure.hpp"
#include "load/token_place.hpp"
#include "load/value_placement.hpp"
#include "parse/number_token.hpp"

namespace itsolv {

void fail_ends_before(const char* path, int64_t last_line, int64_t t, int32_t n) {
  fail("Cannot read file %s: the file ends at line %lld before %s\n", path, static_cast<long long>(last_line),
       describe(t, n).c_str());
}

void fail_bad_token(const char* path, int64_t t, int32_t n, const char* begin, const char* end, int64_t line) {
  fail("Cannot read file %s: expected a number for %s at line %lld, found %s\n", path, describe(t, n).c_str(),
       static_cast<long long>(line), quote(begin, end).c_str());
}

// Reads the count and the tolerance into p and refuses a count that the
// file (of `size` bytes, 0 when not known) cannot hold. Gives the number of
// tokens of the whole problem.
int64_t read_header(Problem& p, Reader& in, uint64_t size) {
  const char* begin = nullptr;
  const char* end = nullptr;
  // The count decides first. A file without a token is the empty problem,
  // as is a count of 0 whatever follows it: both load with no values, and
  // the pre-check refuses them. A negative count asks for more memory than
  // exists, whatever follows it.
  int32_t num = 0;
  if (in.next_token(begin, end) && !parse_count(begin, end, num))
    fail("Cannot read file %s: expected %s (a whole number from -2147483648 to 2147483647) at line %lld, found %s\n",
         in.path(), describe(0, 0).c_str(), static_cast<long long>(in.line()), quote(begin, end).c_str());
  if (num < 0) fail("Cannot allocate a!\n");
  p.num = num;
  if (num == 0) return kHeaderTokens;
  if (!in.next_token(begin, end)) fail_ends_before(in.path(), in.last_line(), 1, 0);
  float err = 0.0f;
  if (!parse_float(begin, end, err)) fail_bad_token(in.path(), 1, 0, begin, end, in.line());
  p.err = err;

  // Every value takes at least one byte and a separator before it.
  const auto values = static_cast<uint64_t>(row_token(num, num) - kHeaderTokens);
  if (size > 0) {
    const uint64_t done = in.offset(in.pos());
    const uint64_t left = size > done ? size - done : 0;
    if (left / 2 < values)
      fail(
          "Cannot read file %s: the file is too short for %d variables: their values need at least %llu more bytes, "
          "and %llu remain\n",
          in.path(), num, static_cast<unsigned long long>(values) * 2, static_cast<unsigned long long>(left));
  }
  return row_token(num, num);
}

void allocate(Problem& p, const LoadOptions& options) {
  const int32_t num = p.num;
  const int blocks = std::max(options.blocks, 1);
  const int block = std::clamp(options.block, 0, blocks - 1);
  if (!p.a.allocate(num, split(num, blocks, block)) || !p.diag.allocate(num)) fail("Cannot allocate a!\n");
  if (!p.x.allocate(num)) fail("Cannot allocate x!\n");
  if (!p.curr.allocate(num)) fail("Cannot allocate curr!\n");
  if (!p.b.allocate(num)) fail("Cannot allocate b!\n");
}

}  // namespace itsolv

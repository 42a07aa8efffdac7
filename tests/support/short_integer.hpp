// A plain integer token of one to seven digits with an optional '-', read
// with the loader's eight-digit reader: the shortest path through it, which
// the tests hold against the C library.
#pragma once

#include <cstdint>

#include "parse/number_token.hpp"

namespace testing_support {

// `p` must be followed by white space within its readable bytes, and 8
// more. Gives the token's length (0 when the token is not such an integer
// followed by white space).
struct ShortInteger {
  int length;
  bool negative;
  int32_t magnitude;
};
inline ShortInteger read_short_integer(const char* p) {
  const bool negative = *p == '-';
  const char* q = p + negative;
  uint64_t m = 0;
  const int length = itsolv::read_digits(q, m);
  if (length == 0 || length > 7 || !itsolv::is_space(*q)) return {0, false, 0};
  return {length + negative, negative, static_cast<int32_t>(m)};
}

}  // namespace testing_support

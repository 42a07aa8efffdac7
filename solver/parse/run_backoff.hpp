// When the vector readers of token runs are tried: a reader that takes no
// token is left alone for a while, longer after each miss in a row, so that
// a file of decimals seldom tries the reader of short integers, and one of
// long decimals the reader of short decimals.
#pragma once

#include <algorithm>
#include <cstdint>

namespace itsolv {

// Tokens read by a vector reader at a time, and the most tokens read one by
// one before a reader that missed is tried again.
inline constexpr int32_t kRun = 256;
inline constexpr int kLongestWait = 256;

struct Backoff {
  int wait = 0;  // tokens still left to the scalar reader
  int next = 1;  // the wait after the next miss

  // Whether the reader is tried at this token (counting down the wait when
  // it is not).
  bool due() {
    if (wait == 0) return true;
    --wait;
    return false;
  }
  // The reader took `got` tokens.
  void took(int32_t got) {
    next = got == 0 ? std::min(next * 2, kLongestWait) : 1;
    wait = got == 0 ? next : 0;
  }
};

}  // namespace itsolv

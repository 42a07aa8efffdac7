// Runs of short integer tokens (see short_tokens.hpp) read at a fixed
// stride of 64 bytes, written once for every vector instruction set. A
// reader's file includes this under its target, after defining its Lanes:
//   ShortMasks load(const char* p)  loads the block at p and gives its masks
//   uint64_t values(uint64_t tens, uint64_t neg)
//       works out the value of a short token marked at each byte (its mark
//       being the white space just after it): the digit before the mark,
//       plus ten times the one before that where `tens`, negated where
//       `neg` (the bytes before the block are the block before's); gives
//       the bytes whose value is zero
//   void store(uint64_t at, int8_t* out)
//       packs the values at the bits of `at` at out, one byte each
//   void next()                     the block loaded becomes the one before
//
// A block's values are those of the tokens that end in it, so the place of
// the next block never waits for this one's reading. A block is loaded only
// while the next token to read ends in it or after it, and that token has
// 64 readable bytes after it.
#pragma once

#include <bit>
#include <cstdint>

#include "parse/short_tokens.hpp"
#include "parse/text_ahead.hpp"

namespace itsolv {

// A block's bytes that are white space, digits and minus signs.
struct ShortMasks {
  uint64_t space, digit, minus;
};

template <typename Lanes>
struct ShortRun {
  // Bit i of the result: bit i - K of the block (of `before` below 0).
  template <int K>
  static uint64_t back(uint64_t now, uint64_t before) {
    return (now << K) | (before >> (64 - K));
  }

  // The mark of the k-th token of `marks` (k from 1).
  static int kth(uint64_t marks, int32_t k) {
    for (int32_t j = 1; j < k; ++j) marks &= marks - 1;
    return std::countr_zero(marks);
  }

  // The run reader of the instruction set (see ShortRunReader).
  static int32_t read(const char*& q, int32_t max, int8_t* vals) {
    if (max <= 0) return 0;
    Lanes lanes;
    ShortMasks before{~uint64_t{0}, 0, 0};  // white space before the run
    uint64_t starts_before = 0;
    int32_t count = 0;
    for (const char* p = q;; p += 64) {
      ask_ahead(p);
      const ShortMasks m = lanes.load(p);
      const uint64_t s1 = back<1>(m.space, before.space), s2 = back<2>(m.space, before.space);
      const uint64_t s3 = back<3>(m.space, before.space), s4 = back<4>(m.space, before.space);
      const uint64_t d1 = back<1>(m.digit, before.digit), d2 = back<2>(m.digit, before.digit);
      const uint64_t m2 = back<2>(m.minus, before.minus), m3 = back<3>(m.minus, before.minus);
      // Marks of tokens, and of the short shapes: "d", "dd", "-d", "-dd".
      const uint64_t marks = m.space & ~s1;
      const uint64_t fast = marks & d1 & (s2 | (s3 & (d2 | m2)) | (s4 & d2 & m3));
      const uint64_t neg = fast & ((s3 & m2) | (s4 & m3 & d2));
      const uint64_t tens = fast & d2;
      // Not short: a token of another shape, five bytes of one token (long
      // before its mark), a negative zero.
      const uint64_t token = ~m.space;
      const uint64_t bad = (marks & ~fast) | (token & ~s1 & ~s2 & ~s3 & ~s4) | (neg & lanes.values(tens, neg));
      const uint64_t starts = token & s1;
      const int b = bad != 0 ? std::countr_zero(bad) : 64;
      const uint64_t take = b == 64 ? fast : fast & ((uint64_t{1} << b) - 1);
      const int32_t taken = std::popcount(take);
      if (taken >= max - count) {
        const int last = kth(take, max - count);
        lanes.store(take & ((uint64_t{2} << last) - 1), vals + count);
        q = p + last;
        return max;
      }
      lanes.store(take, vals + count);
      count += taken;
      if (b < 64) {
        // The token not taken starts at most four bytes before its bad
        // byte, perhaps in the block before.
        const uint64_t here = starts & (b == 63 ? ~uint64_t{0} : (uint64_t{2} << b) - 1);
        q = p + (here != 0 ? 63 - std::countl_zero(here) : 63 - std::countl_zero(starts_before) - 64);
        return count;
      }
      lanes.next();
      before = m;
      starts_before = starts;
    }
  }
};

}  // namespace itsolv

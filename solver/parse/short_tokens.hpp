// Loading, stage 3a: runs of short integer tokens read a 64-byte block at a
// time in vector registers.
//
// A short token is one or two decimal digits, a minus sign before them or
// not ("7", "42", "-5", "-17"), but not a negative zero ("-0", "-00"): its
// value is an integer from -99 to 99, exactly the float the scalar reader
// gives, and fits every storage. Any other token ends a run and is left to
// the scalar reader (number_token.hpp).
#pragma once

#include <bit>
#include <cstdint>

namespace itsolv {

// A block's worth of values. A vector reader stores only the values it
// takes, never past the `max` it is given: the row stage is read into
// straight, and there the values after a run belong to tokens that other
// members place. Buffers read into still keep this much room beyond.
inline constexpr int32_t kBlockValues = 64;

// The reader of an instruction set reads a run of short tokens at q, as
// read_short_tokens below says.
using ShortRunReader = int32_t (*)(const char*& q, int32_t max, int8_t* vals);

// The reader of each instruction set that has one (see isa_table.hpp).
ShortRunReader short_run_reader_avx2();
ShortRunReader short_run_reader_avx512();

// A reader may work a 64-byte block at a time: it reads the short tokens
// of the block at p, at most `max`, packs their values into vals and says
// what it took.
struct BlockTake;
using ShortBlockReader = BlockTake (*)(const char* p, int32_t max, int8_t* vals);

// What one 64-byte block gives, from its masks (bit i for byte i): white
// space, digits, minus signs. Works on bit masks alone, so every
// instruction set shares it.
struct BlockTake {
  uint64_t ends = 0;  // the last bytes of the short tokens taken
  int count = 0;      // how many: the bits of ends
  int advance = 0;    // bytes consumed: to white space, or to a token not taken
  bool stop = false;  // a token that is not short, or `max` reached
};

struct BlockShapes {
  uint64_t ends;  // last bytes of complete tokens (white space after them in the block)
  uint64_t fast;  // of those, the ends of short shapes
  uint64_t neg;   // of those, the ends of ones with a minus sign
  uint64_t tens;  // bytes whose digit is the tens of the next byte's token
  uint64_t starts;
  int last_space;  // -1 when the block has none
};

inline BlockShapes block_shapes(uint64_t space, uint64_t digit, uint64_t minus) {
  BlockShapes s{};
  if (space == 0) {
    s.last_space = -1;
    return s;
  }
  s.last_space = 63 - std::countl_zero(space);
  const uint64_t token = ~space;
  // The byte before the block counts as white space.
  s.starts = token & ~(token << 1);
  s.ends = token & ~(token >> 1) & ((uint64_t{1} << s.last_space) - 1);
  const uint64_t signed_start = s.starts & minus;
  // At its last byte e a short token starts at e ("d"), at e - 1 ("dd",
  // "-d") or at e - 2 ("-dd").
  s.fast = s.ends & digit & (s.starts | ((s.starts & (digit | minus)) << 1) | ((signed_start << 2) & (digit << 1)));
  s.neg = s.fast & ((signed_start << 1) | (signed_start << 2));
  s.tens = digit & ((s.fast & ~s.starts) >> 1);
  return s;
}

// Which of the block's tokens are taken, given the shapes and the ends
// whose value is zero (a negative zero is not short).
inline BlockTake take_block(const BlockShapes& s, uint64_t zero, int32_t max) {
  BlockTake t;
  if (s.last_space < 0) {
    t.stop = true;  // 64 bytes without white space: no short token
    return t;
  }
  const uint64_t bad = (s.ends & ~s.fast) | (s.neg & zero);
  uint64_t take = s.fast;
  t.advance = s.last_space;
  if (bad != 0) {
    const int b = std::countr_zero(bad);
    const uint64_t before = s.starts & ((uint64_t{2} << b) - 1);
    const int start = 63 - std::countl_zero(before);
    take &= (uint64_t{1} << start) - 1;
    t.advance = start;
    t.stop = true;
  }
  if (std::popcount(take) > max) {
    uint64_t rest = take;
    for (int32_t k = 0; k < max; ++k) rest &= rest - 1;
    const int first_left = std::countr_zero(rest);
    take &= (uint64_t{1} << first_left) - 1;
    t.advance = max > 0 ? 64 - std::countl_zero(take) : 0;  // just after the last one taken
    t.stop = true;
  }
  t.ends = take;
  t.count = std::popcount(take);
  if (t.advance == 0) t.stop = true;  // a token of 63 bytes or more
  return t;
}

// Reads the short tokens at q (white space or a token's first byte, with
// white space or nothing before it in the token) into vals, at most `max`
// of them, block by block; q moves past them, to white space or to the
// first token that is not short. Gives how many were read. The text has at
// least 64 readable bytes after every token (the reader's blanks). Stores
// nothing past vals[max - 1].
inline int32_t read_short_tokens(ShortBlockReader block, const char*& q, int32_t max, int8_t* vals) {
  int32_t count = 0;
  while (count < max) {
    const BlockTake t = block(q, max - count, vals + count);
    count += t.count;
    q += t.advance;
    if (t.stop) break;
  }
  return count;
}

}  // namespace itsolv

// The tokenizer's blocks of 64 bytes with AVX-512: token counts, and short
// tokens read with one compare a class of bytes, the tens added in bytes,
// the values packed with a compress-store.
#include <immintrin.h>

#include <bit>
#include <cstdint>

#include "parse/short_tokens.hpp"
#include "parse/text_ahead.hpp"
#include "parse/token_count.hpp"
#include "parse/white_space.hpp"

namespace itsolv {
namespace {

// Compiled for the instruction set, and only called when the machine runs
// it: the counter needs AVX-512BW, the reader VBMI2 besides.
#define COUNT_TARGET __attribute__((target("avx512f,avx512bw,popcnt")))
#define TARGET __attribute__((target("avx512f,avx512bw,avx512vbmi2,popcnt")))

COUNT_TARGET const char* count_blocks(const char* p, const char* end, TokenCount& c, bool& after_space) {
  uint64_t before = after_space;
  const __m512i line_feed = _mm512_set1_epi8('\n');
  for (; end - p >= 64; p += 64) {
    ask_ahead(p);
    const __m512i v = _mm512_loadu_si512(p);
    const uint64_t space = space_mask(v);
    c.tokens += std::popcount(~space & ((space << 1) | before));
    c.newlines += std::popcount(_mm512_cmpeq_epi8_mask(v, line_feed));
    before = space >> 63;
  }
  after_space = before != 0;
  return p;
}

// The bytes of v shifted up by K (1 to 3): byte i gets byte i - K, the
// first K from the end of the block before.
template <int K>
TARGET __m512i bytes_before(__m512i v, __m512i before) {
  // Each 16-byte lane gets the one below (the masked form: the plain one
  // warns of an undefined value in this compiler).
  const __m512i lanes = _mm512_maskz_alignr_epi32(0xFFFF, v, before, 12);
  return _mm512_alignr_epi8(v, lanes, 16 - K);
}

// Bit masks shifted up by K, the first K bits from the block before.
template <int K>
uint64_t bits_before(uint64_t m, uint64_t before) {
  return (m << K) | (before >> (64 - K));
}

// The masks of one 64-byte block.
struct Masks {
  uint64_t space, digit, minus;
};

TARGET Masks masks_of(__m512i v, __m512i d) {
  return {space_mask(v), _mm512_cmple_epu8_mask(d, _mm512_set1_epi8(9)),
          _mm512_cmpeq_epi8_mask(v, _mm512_set1_epi8('-'))};
}

// The white space after the k-th set bit of `ends` (k from 1).
inline int kth_end(uint64_t ends, int32_t k) {
  for (int32_t j = 1; j < k; ++j) ends &= ends - 1;
  return std::countr_zero(ends);
}

// Blocks at a fixed stride of 64 bytes: a block's values are those of the
// tokens that end in it, marked by the white space after them, so the next
// block's place never waits for this one's reading. The bytes before a
// block come from the one before it (white space before the first).
// Only a block that the next token not yet read ends in or after is loaded,
// and that token has 64 readable bytes after it.
TARGET int32_t read_run(const char*& q, int32_t max, int8_t* vals) {
  if (max <= 0) return 0;
  const __m512i zero = _mm512_setzero_si512(), digit0 = _mm512_set1_epi8('0');
  __m512i d_before = _mm512_set1_epi8(' ' - '0');
  Masks before{~uint64_t{0}, 0, 0};
  uint64_t starts_before = 0;
  int32_t count = 0;
  for (const char* p = q;; p += 64) {
    ask_ahead(p);
    const __m512i v = _mm512_loadu_si512(p);
    const __m512i d = _mm512_sub_epi8(v, digit0);
    const Masks m = masks_of(v, d);
    const uint64_t s1 = bits_before<1>(m.space, before.space), s2 = bits_before<2>(m.space, before.space);
    const uint64_t s3 = bits_before<3>(m.space, before.space), s4 = bits_before<4>(m.space, before.space);
    const uint64_t d1 = bits_before<1>(m.digit, before.digit), d2 = bits_before<2>(m.digit, before.digit);
    const uint64_t m2 = bits_before<2>(m.minus, before.minus), m3 = bits_before<3>(m.minus, before.minus);
    // White space after a token, and after each short shape: "d", "dd",
    // "-d", "-dd".
    const uint64_t ends = m.space & ~s1;
    const uint64_t fast = ends & d1 & (s2 | (s3 & (d2 | m2)) | (s4 & d2 & m3));
    const uint64_t neg = fast & ((s3 & m2) | (s4 & m3 & d2));
    const uint64_t tens = fast & d2;
    const __m512i t = _mm512_maskz_mov_epi8(tens, bytes_before<2>(d, d_before));
    const __m512i t2 = _mm512_add_epi8(t, t);
    const __m512i t8 = _mm512_add_epi8(_mm512_add_epi8(t2, t2), _mm512_add_epi8(t2, t2));
    __m512i value = _mm512_add_epi8(bytes_before<1>(d, d_before), _mm512_add_epi8(t8, t2));
    value = _mm512_mask_sub_epi8(value, neg, zero, value);
    // Not short: a token that ends in another shape, five bytes of one
    // token, a negative zero.
    const uint64_t token = ~m.space;
    const uint64_t long_run = token & ~s1 & ~s2 & ~s3 & ~s4;
    const uint64_t bad = (ends & ~fast) | long_run | (neg & _mm512_cmpeq_epi8_mask(value, zero));
    const uint64_t starts = token & s1;
    const int b = bad != 0 ? std::countr_zero(bad) : 64;
    const uint64_t take = b == 64 ? fast : fast & ((uint64_t{1} << b) - 1);
    const int32_t taken = std::popcount(take);
    if (taken >= max - count) {
      const int at = kth_end(take, max - count);
      _mm512_mask_compressstoreu_epi8(vals + count, take & ((uint64_t{2} << at) - 1), value);
      q = p + at;
      return max;
    }
    _mm512_mask_compressstoreu_epi8(vals + count, take, value);
    count += taken;
    if (b < 64) {
      // The token not taken starts at most four bytes before its mark,
      // perhaps in the block before.
      const uint64_t here = starts & (b == 63 ? ~uint64_t{0} : (uint64_t{2} << b) - 1);
      q = p + (here != 0 ? 63 - std::countl_zero(here) : 63 - std::countl_zero(starts_before) - 64);
      return count;
    }
    d_before = d;
    before = m;
    starts_before = starts;
  }
}

}  // namespace

ShortRunReader short_run_reader_avx512() { return &read_run; }
BlockCounter block_counter_avx512() { return &count_blocks; }

}  // namespace itsolv

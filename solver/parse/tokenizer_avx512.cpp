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

TARGET BlockTake read_block(const char* p, int32_t max, int8_t* vals) {
  ask_ahead(p);
  const __m512i zero = _mm512_setzero_si512(), digit0 = _mm512_set1_epi8('0'), nine = _mm512_set1_epi8(9);
  const __m512i v = _mm512_loadu_si512(p);
  const __m512i d = _mm512_sub_epi8(v, digit0);
  const uint64_t digit = _mm512_cmple_epu8_mask(d, nine);
  const BlockShapes s = block_shapes(space_mask(v), digit, _mm512_cmpeq_epi8_mask(v, _mm512_set1_epi8('-')));
  // Each byte's digit beside the one before it: lanes shifted up by one
  // 16-byte lane, then bytes by one.
  const __m512i before = _mm512_alignr_epi8(d, _mm512_maskz_alignr_epi32(0xFFFF, d, zero, 12), 15);
  const __m512i tens = _mm512_maskz_mov_epi8(s.tens << 1, before);
  const __m512i tens2 = _mm512_add_epi8(tens, tens);
  const __m512i tens8 = _mm512_add_epi8(_mm512_add_epi8(tens2, tens2), _mm512_add_epi8(tens2, tens2));
  __m512i value = _mm512_add_epi8(d, _mm512_add_epi8(tens8, tens2));
  value = _mm512_mask_sub_epi8(value, s.neg, zero, value);
  const BlockTake t = take_block(s, _mm512_cmpeq_epi8_mask(value, zero), max);
  _mm512_mask_compressstoreu_epi8(vals, t.ends, value);
  return t;
}

}  // namespace

ShortBlockReader short_block_reader_avx512() { return &read_block; }
BlockCounter block_counter_avx512() { return &count_blocks; }

}  // namespace itsolv

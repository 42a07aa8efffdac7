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

// The run reader's loop, compiled for the instruction set.
#pragma GCC push_options
#pragma GCC target("avx512f,avx512bw,avx512vbmi2,popcnt")
#include "parse/short_run.hpp"
#pragma GCC pop_options

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

// The bytes of v shifted up by K (1 or 2): byte i gets byte i - K, the
// first K from the end of the block before.
template <int K>
TARGET __m512i bytes_before(__m512i v, __m512i before) {
  // Each 16-byte lane gets the one below (the masked form: the plain one
  // warns of an undefined value in this compiler).
  const __m512i lanes = _mm512_maskz_alignr_epi32(0xFFFF, v, before, 12);
  return _mm512_alignr_epi8(v, lanes, 16 - K);
}

// A block's digit values in one register; its values packed with a
// compress-store.
struct Lanes {
  __m512i d, d_before, value;

  TARGET Lanes() : d(_mm512_set1_epi8(' ' - '0')), d_before(d), value(d) {}
  TARGET ShortMasks load(const char* p) {
    const __m512i v = _mm512_loadu_si512(p);
    d = _mm512_sub_epi8(v, _mm512_set1_epi8('0'));
    return {space_mask(v), _mm512_cmple_epu8_mask(d, _mm512_set1_epi8(9)),
            _mm512_cmpeq_epi8_mask(v, _mm512_set1_epi8('-'))};
  }
  TARGET uint64_t values(uint64_t tens, uint64_t neg) {
    const __m512i zero = _mm512_setzero_si512();
    const __m512i t = _mm512_maskz_mov_epi8(tens, bytes_before<2>(d, d_before));
    const __m512i t2 = _mm512_add_epi8(t, t);
    const __m512i t8 = _mm512_add_epi8(_mm512_add_epi8(t2, t2), _mm512_add_epi8(t2, t2));
    value = _mm512_add_epi8(bytes_before<1>(d, d_before), _mm512_add_epi8(t8, t2));
    value = _mm512_mask_sub_epi8(value, neg, zero, value);
    return _mm512_cmpeq_epi8_mask(value, zero);
  }
  TARGET void store(uint64_t at, int8_t* out) const { _mm512_mask_compressstoreu_epi8(out, at, value); }
  TARGET void next() { d_before = d; }
};

TARGET int32_t read_run(const char*& q, int32_t max, int8_t* vals) { return ShortRun<Lanes>::read(q, max, vals); }

}  // namespace

ShortRunReader short_run_reader_avx512() { return &read_run; }
BlockCounter block_counter_avx512() { return &count_blocks; }

}  // namespace itsolv

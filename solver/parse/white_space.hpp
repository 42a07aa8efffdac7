// White space: blank, and tab, line feed, vertical tab, form feed, carriage
// return (bytes 9 .. 13). The one test of it, a byte at a time and in the
// vector widths the tokenizers use.
#pragma once

#include <immintrin.h>

#include <cstdint>

namespace itsolv {

struct SpaceTable {
  bool space[256];
  constexpr SpaceTable() : space() {
    for (int c = 0; c < 256; ++c) space[c] = c == ' ' || (c >= '\t' && c <= '\r');
  }
};
inline constexpr SpaceTable kSpace{};

inline bool is_space(char c) { return kSpace.space[static_cast<unsigned char>(c)]; }

// The end of the token at p: its first white space (the text has white
// space or blanks after every token).
inline const char* token_end(const char* p) {
  while (!is_space(*p)) ++p;
  return p;
}

// All ones in the white space bytes of v: ' ', or 9 .. 13 (0 .. 4 once the
// tab is taken off).
inline __m128i space_bytes(__m128i v) {
  const __m128i control = _mm_sub_epi8(v, _mm_set1_epi8('\t'));
  return _mm_or_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8(' ')),
                      _mm_cmpeq_epi8(_mm_min_epu8(control, _mm_set1_epi8(4)), control));
}

__attribute__((target("avx2"))) inline __m256i space_bytes(__m256i v) {
  const __m256i control = _mm256_sub_epi8(v, _mm256_set1_epi8('\t'));
  return _mm256_or_si256(_mm256_cmpeq_epi8(v, _mm256_set1_epi8(' ')),
                         _mm256_cmpeq_epi8(_mm256_min_epu8(control, _mm256_set1_epi8(4)), control));
}

// Bit i set when byte i of v is white space; the second form takes the
// constants, all bytes ' ', '\t' and 4, from a loop that keeps them.
__attribute__((target("avx512f,avx512bw"))) inline uint64_t space_mask(__m512i v, __m512i blank, __m512i tab,
                                                                       __m512i four) {
  return _mm512_cmpeq_epi8_mask(v, blank) | _mm512_cmple_epu8_mask(_mm512_sub_epi8(v, tab), four);
}

__attribute__((target("avx512f,avx512bw"))) inline uint64_t space_mask(__m512i v) {
  return space_mask(v, _mm512_set1_epi8(' '), _mm512_set1_epi8('\t'), _mm512_set1_epi8(4));
}

}  // namespace itsolv

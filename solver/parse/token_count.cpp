#include "parse/token_count.hpp"

#include <immintrin.h>

#include "kernels/isa_table.hpp"
#include "parse/number_token.hpp"

namespace itsolv {

TokenCount count_tokens(const char* begin, const char* end) {
  int64_t tokens = 0, newlines = 0;
  const char* p = begin;
  // Sixteen bytes at a time: a token starts at a byte that is not white
  // space after one that is. Each byte of the counters counts up to 255
  // blocks before it is added up.
  const __m128i line_feed = _mm_set1_epi8('\n'), zero = _mm_setzero_si128();
  __m128i previous = _mm_set1_epi8(-1);  // the text starts after white space
  auto add_up = [&](__m128i counts) {
    const __m128i sums = _mm_sad_epu8(counts, zero);
    return static_cast<int64_t>(_mm_cvtsi128_si64(sums)) + _mm_extract_epi16(sums, 4);
  };
  while (end - p >= 16) {
    __m128i starts = zero, feeds = zero;
    for (int round = 0; round < 255 && end - p >= 16; ++round, p += 16) {
      const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
      const __m128i space = space_bytes(v);
      const __m128i space_before = _mm_or_si128(_mm_slli_si128(space, 1), _mm_srli_si128(previous, 15));
      starts = _mm_sub_epi8(starts, _mm_andnot_si128(space, space_before));
      feeds = _mm_sub_epi8(feeds, _mm_cmpeq_epi8(v, line_feed));
      previous = space;
    }
    tokens += add_up(starts);
    newlines += add_up(feeds);
  }
  bool after_space = _mm_movemask_epi8(previous) & 0x8000;
  for (; p != end; ++p) {
    const bool space = is_space(*p);
    tokens += after_space && !space;
    newlines += *p == '\n';
    after_space = space;
  }
  return {tokens, newlines};
}

TokenCount count_tokens(const char* begin, const char* end, Isa isa) {
  const BlockCounter blocks = isa_table(isa).count_blocks;
  TokenCount c;
  bool after_space = true;
  const char* p = blocks != nullptr ? blocks(begin, end, c, after_space) : begin;
  // The rest of a token that the blocks end in (no line feed in it).
  if (!after_space)
    while (p != end && !is_space(*p)) ++p;
  const TokenCount rest = count_tokens(p, end);
  return {c.tokens + rest.tokens, c.newlines + rest.newlines};
}

int64_t count_newlines(const char* begin, const char* end) {
  int64_t count = 0;
  for (const char* q = begin; q != end; ++q) count += *q == '\n';
  return count;
}

const char* complete_tokens_end(const char* from, const char* end) {
  while (end > from && !is_space(end[-1])) --end;
  return end;
}

const char* token_boundary(const char* from, const char* at, const char* end) {
  while (at < end && at > from && !is_space(at[-1])) ++at;
  return at;
}

}  // namespace itsolv

// The tokenizer's blocks of 64 bytes with AVX2: token counts, and short
// tokens, two 32-byte halves giving the block's masks, the values worked
// out for every byte and picked out at the tokens' ends.
#include <immintrin.h>

#include <bit>
#include <cstdint>

#include "parse/short_tokens.hpp"
#include "parse/text_ahead.hpp"
#include "parse/token_count.hpp"
#include "parse/white_space.hpp"

namespace itsolv {
namespace {

// Compiled for the instruction set, and only called when the machine runs it.
#define TARGET __attribute__((target("avx2,popcnt")))

// x with every byte moved up by `k` (1 or 2), the bytes of `prev` (the
// 32 bytes before it) coming in.
template <int K>
TARGET __m256i shifted(__m256i x, __m256i prev) {
  return _mm256_alignr_epi8(x, _mm256_permute2x128_si256(prev, x, 0x21), 16 - K);
}

TARGET __m256i is_digit(__m256i x) {
  const __m256i d = _mm256_sub_epi8(x, _mm256_set1_epi8('0'));
  return _mm256_cmpeq_epi8(_mm256_min_epu8(d, _mm256_set1_epi8(9)), d);
}

TARGET uint64_t bits(__m256i low, __m256i high) {
  return uint64_t{static_cast<uint32_t>(_mm256_movemask_epi8(low))} |
         uint64_t{static_cast<uint32_t>(_mm256_movemask_epi8(high))} << 32;
}

TARGET const char* count_blocks(const char* p, const char* end, TokenCount& c, bool& after_space) {
  uint64_t before = after_space;
  const __m256i line_feed = _mm256_set1_epi8('\n');
  for (; end - p >= 64; p += 64) {
    ask_ahead(p);
    const __m256i lo = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
    const __m256i hi = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 32));
    const uint64_t space = bits(space_bytes(lo), space_bytes(hi));
    c.tokens += std::popcount(~space & ((space << 1) | before));
    c.newlines += std::popcount(bits(_mm256_cmpeq_epi8(lo, line_feed), _mm256_cmpeq_epi8(hi, line_feed)));
    before = space >> 63;
  }
  after_space = before != 0;
  return p;
}

struct Half {
  uint32_t space, digit, minus;
  __m256i value;  // of a short token ending at that byte
};

TARGET Half half(__m256i v, __m256i v_before) {
  const __m256i digit0 = _mm256_set1_epi8('0'), minus_sign = _mm256_set1_epi8('-');
  const __m256i d = _mm256_sub_epi8(v, digit0);
  const __m256i d1 = shifted<1>(d, _mm256_sub_epi8(v_before, digit0));
  const __m256i digit = is_digit(v), digit1 = is_digit(shifted<1>(v, v_before));
  const __m256i space = space_bytes(v);
  const __m256i minus = _mm256_cmpeq_epi8(v, minus_sign);
  // At a short token's last byte: the byte before it is its tens digit when
  // both are digits; a minus sign one or two bytes before makes it negative.
  const __m256i tens = _mm256_and_si256(d1, _mm256_and_si256(digit, digit1));
  const __m256i tens2 = _mm256_add_epi8(tens, tens);
  const __m256i tens8 = _mm256_add_epi8(_mm256_add_epi8(tens2, tens2), _mm256_add_epi8(tens2, tens2));
  const __m256i value = _mm256_add_epi8(d, _mm256_add_epi8(tens8, tens2));
  const __m256i minus_before = _mm256_cmpeq_epi8(v_before, minus_sign);
  const __m256i neg = _mm256_or_si256(shifted<1>(minus, minus_before), shifted<2>(minus, minus_before));
  Half h;
  h.space = static_cast<uint32_t>(_mm256_movemask_epi8(space));
  h.digit = static_cast<uint32_t>(_mm256_movemask_epi8(digit));
  h.minus = static_cast<uint32_t>(_mm256_movemask_epi8(minus));
  h.value = _mm256_sub_epi8(_mm256_xor_si256(value, neg), neg);
  return h;
}

TARGET BlockTake read_block(const char* p, int32_t max, int8_t* vals) {
  ask_ahead(p);
  const __m256i lo = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
  const __m256i hi = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 32));
  const Half a = half(lo, _mm256_set1_epi8(' ')), b = half(hi, lo);
  auto join = [](uint32_t low, uint32_t high) { return uint64_t{low} | uint64_t{high} << 32; };
  const BlockShapes s = block_shapes(join(a.space, b.space), join(a.digit, b.digit), join(a.minus, b.minus));
  const __m256i zero = _mm256_setzero_si256();
  const uint64_t zeros = bits(_mm256_cmpeq_epi8(a.value, zero), _mm256_cmpeq_epi8(b.value, zero));
  const BlockTake t = take_block(s, zeros, max);
  alignas(32) int8_t value[64];
  _mm256_store_si256(reinterpret_cast<__m256i*>(value), a.value);
  _mm256_store_si256(reinterpret_cast<__m256i*>(value + 32), b.value);
  int32_t count = 0;
  for (uint64_t ends = t.ends; ends != 0; ends &= ends - 1) vals[count++] = value[std::countr_zero(ends)];
  return t;
}

TARGET int32_t read_run(const char*& q, int32_t max, int8_t* vals) {
  return read_short_tokens(&read_block, q, max, vals);
}

}  // namespace

ShortRunReader short_run_reader_avx2() { return &read_run; }
BlockCounter block_counter_avx2() { return &count_blocks; }

}  // namespace itsolv

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

// The run reader's loop, compiled for the instruction set.
#pragma GCC push_options
#pragma GCC target("avx2,popcnt")
#include "parse/short_run.hpp"
#pragma GCC pop_options

namespace itsolv {
namespace {

// Compiled for the instruction set, and only called when the machine runs it.
#define TARGET __attribute__((target("avx2,popcnt")))

// x with every byte moved up by `k` (1 to 3), the bytes of `prev` (the
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

// A block in two registers; its values worked out for every byte (as if a
// short token ended just before it), then picked out at the marks.
struct Lanes {
  __m256i lo, hi, before;  // `before`: the upper half of the block before
  alignas(32) int8_t value[64];

  TARGET Lanes() : lo(_mm256_set1_epi8(' ')), hi(lo), before(lo) {}
  TARGET ShortMasks load(const char* p) {
    lo = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
    hi = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 32));
    const __m256i minus = _mm256_set1_epi8('-');
    return {bits(space_bytes(lo), space_bytes(hi)), bits(is_digit(lo), is_digit(hi)),
            bits(_mm256_cmpeq_epi8(lo, minus), _mm256_cmpeq_epi8(hi, minus))};
  }
  // At byte i: the digit at i - 1, ten times the one at i - 2 when both
  // are digits, negated after "-" at i - 2 or "-d" at i - 3. At the marks
  // of short tokens that is what `tens` and `neg` say.
  TARGET static __m256i half_values(__m256i v, __m256i v_before) {
    const __m256i zero = _mm256_set1_epi8('0'), minus = _mm256_set1_epi8('-');
    const __m256i v1 = shifted<1>(v, v_before), v2 = shifted<2>(v, v_before), v3 = shifted<3>(v, v_before);
    const __m256i digit2 = is_digit(v2);
    const __m256i t = _mm256_and_si256(_mm256_sub_epi8(v2, zero), _mm256_and_si256(is_digit(v1), digit2));
    const __m256i t2 = _mm256_add_epi8(t, t);
    const __m256i t8 = _mm256_add_epi8(_mm256_add_epi8(t2, t2), _mm256_add_epi8(t2, t2));
    const __m256i value = _mm256_add_epi8(_mm256_sub_epi8(v1, zero), _mm256_add_epi8(t8, t2));
    const __m256i neg =
        _mm256_or_si256(_mm256_cmpeq_epi8(v2, minus), _mm256_and_si256(_mm256_cmpeq_epi8(v3, minus), digit2));
    return _mm256_sub_epi8(_mm256_xor_si256(value, neg), neg);
  }
  TARGET uint64_t values(uint64_t, uint64_t) {
    const __m256i a = half_values(lo, before), b = half_values(hi, lo), zero = _mm256_setzero_si256();
    _mm256_store_si256(reinterpret_cast<__m256i*>(value), a);
    _mm256_store_si256(reinterpret_cast<__m256i*>(value + 32), b);
    return bits(_mm256_cmpeq_epi8(a, zero), _mm256_cmpeq_epi8(b, zero));
  }
  TARGET void store(uint64_t at, int8_t* out) const {
    for (int32_t k = 0; at != 0; at &= at - 1) out[k++] = value[std::countr_zero(at)];
  }
  TARGET void next() { before = hi; }
};

TARGET int32_t read_run(const char*& q, int32_t max, int8_t* vals) { return ShortRun<Lanes>::read(q, max, vals); }

}  // namespace

ShortRunReader short_run_reader_avx2() { return &read_run; }
BlockCounter block_counter_avx2() { return &count_blocks; }

}  // namespace itsolv

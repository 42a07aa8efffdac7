#include "generator/coefficient_text.hpp"

#include <immintrin.h>

#include <array>
#include <bit>
#include <cstring>

// GCC 12 warns about the undefined source operand inside its own AVX-512
// intrinsics.
#if !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif

namespace mkprob {
namespace {

// "1 " ... "99 ", indexed by value - 1: up to three bytes of text in the
// low bytes (first character lowest) and the text's length in the top byte.
// Each entry is stored whole; the length byte lands where the next entry
// starts (or in reserved room past the end) and is overwritten.
static_assert(std::endian::native == std::endian::little, "coefficient texts are stored as little-endian words");
constexpr std::array<uint32_t, 99> kText = [] {
  std::array<uint32_t, 99> table{};
  for (uint32_t value = 1; value <= 99; ++value) {
    table[value - 1] = value < 10 ? ('0' + value) | ' ' << 8 | 2u << 24
                                  : ('0' + value / 10) | ('0' + value % 10) << 8 | ' ' << 16 | 3u << 24;
  }
  return table;
}();

char* put_plain(const int32_t* draws, size_t count, char* p) {
  for (size_t i = 0; i < count; ++i) {
    const uint32_t text = kText[static_cast<uint32_t>(draws[i]) % 99u];
    std::memcpy(p, &text, 4);
    p += text >> 24;
  }
  return p;
}

#define TARGET __attribute__((target("avx512f,avx512bw,avx512vbmi2,bmi2,popcnt")))

// x mod 99 for 0 <= x < 2^31, in 32-bit lanes without a division: folding
// the high bits down by 2^16, 2^11 and 2^9 (which are 97, 68 and 17 mod 99)
// keeps the value's residue and brings it below 9216, where
// (z * 10592) >> 20 is exactly z / 99.
template <int kBits, int kWeight>
TARGET inline __m512i fold(__m512i v) {
  const __m512i low = _mm512_and_si512(v, _mm512_set1_epi32((1 << kBits) - 1));
  return _mm512_add_epi32(_mm512_mullo_epi32(_mm512_srli_epi32(v, kBits), _mm512_set1_epi32(kWeight)), low);
}

TARGET inline __m512i mod99(__m512i x) {
  const __m512i z = fold<9, 17>(fold<11, 68>(fold<16, 97>(x)));
  const __m512i q = _mm512_srli_epi32(_mm512_mullo_epi32(z, _mm512_set1_epi32(10592)), 20);
  return _mm512_sub_epi32(z, _mm512_mullo_epi32(q, _mm512_set1_epi32(99)));
}

// Sixteen texts a round: each lane builds its text in the low three bytes
// of its word ("dd " or "d  "), and a compress-store keeps two or three
// bytes of each.
TARGET char* put_avx512(const int32_t* draws, size_t count, char* p) {
  size_t i = 0;
  for (; i + 16 <= count; i += 16) {
    const __m512i value = _mm512_add_epi32(mod99(_mm512_loadu_si512(draws + i)), _mm512_set1_epi32(1));
    const __m512i tens = _mm512_srli_epi32(_mm512_mullo_epi32(value, _mm512_set1_epi32(205)), 11);
    const __m512i ones = _mm512_sub_epi32(value, _mm512_mullo_epi32(tens, _mm512_set1_epi32(10)));
    const __mmask16 two = _mm512_cmpgt_epi32_mask(tens, _mm512_setzero_si512());
    const __m512i zero_char = _mm512_set1_epi32('0');
    // Two digits: tens, ones, blank; one digit: ones, blank (a third byte
    // that is not kept).
    const __m512i first = _mm512_mask_add_epi32(_mm512_add_epi32(ones, zero_char), two, tens, zero_char);
    const __m512i second = _mm512_mask_add_epi32(_mm512_set1_epi32(' '), two, ones, zero_char);
    const __m512i text =
        _mm512_or_si512(_mm512_or_si512(first, _mm512_slli_epi32(second, 8)), _mm512_set1_epi32(' ' << 16));
    const uint64_t keep = 0x3333333333333333u | _pdep_u64(two, 0x4444444444444444u);
    // Packed in a register and stored whole: a compress straight to memory
    // is far slower. The bytes past the texts are overwritten next.
    _mm512_storeu_si512(p, _mm512_maskz_compress_epi8(keep, text));
    p += std::popcount(keep);
  }
  return put_plain(draws + i, count - i, p);
}

}  // namespace

char* put_coefficient_texts(const int32_t* draws, size_t count, char* p) {
  static const auto put = __builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("avx512vbmi2") &&
                                  __builtin_cpu_supports("bmi2") && __builtin_cpu_supports("popcnt")
                              ? &put_avx512
                              : &put_plain;
  return put(draws, count, p);
}

}  // namespace mkprob

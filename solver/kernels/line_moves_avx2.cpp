// The mover for AVX2: two lanes of rows, thirty-two bytes of a column line
// at a time.
#include <immintrin.h>

#include <cstddef>
#include <cstdint>

#include "kernels/line_moves.hpp"

// Compiled for the instruction set, and only called when the machine runs it.
#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("avx2"))), apply_to = function)
#else
#pragma GCC push_options
#pragma GCC target("avx2")
#endif
#include "kernels/line_transpose.hpp"

namespace itsolv {
namespace {

struct Avx2 {
  using Vec = __m256i;
  static constexpr int kBytes = 32;
  template <size_t E>
  static Vec lo(Vec a, Vec b) {
    if constexpr (E == 1)
      return _mm256_unpacklo_epi8(a, b);
    else if constexpr (E == 2)
      return _mm256_unpacklo_epi16(a, b);
    else
      return _mm256_unpacklo_epi32(a, b);
  }
  template <size_t E>
  static Vec hi(Vec a, Vec b) {
    if constexpr (E == 1)
      return _mm256_unpackhi_epi8(a, b);
    else if constexpr (E == 2)
      return _mm256_unpackhi_epi16(a, b);
    else
      return _mm256_unpackhi_epi32(a, b);
  }
  template <typename T>
  static Vec load(const T* const* rows, int step, int32_t c) {
    const __m128i low = _mm_loadu_si128(reinterpret_cast<const __m128i*>(rows[0] + c));
    return _mm256_inserti128_si256(_mm256_castsi128_si256(low),
                                   _mm_loadu_si128(reinterpret_cast<const __m128i*>(rows[step] + c)), 1);
  }
  using Kept = Vec;
  template <typename T>
  static Kept kept(uint64_t keep) {
    const KeptBytes<T, kBytes> m(keep);
    return _mm256_load_si256(reinterpret_cast<const __m256i*>(m.b));
  }
  template <typename T>
  static void store(T* dst, Vec v) {
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst), v);
  }
  template <typename T>
  static void store(T* dst, Vec v, Kept m) {
    store(dst, _mm256_blendv_epi8(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(dst)), v, m));
  }
};

}  // namespace

LineMover line_mover_avx2() {
  return {32, false, move_lines<Avx2, int8_t>, move_lines<Avx2, int16_t>, move_lines<Avx2, float>};
}

}  // namespace itsolv

#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC pop_options
#endif

// The mover for AVX-512 (BW): four lanes of rows, a whole 64-byte column
// line at a time (the rows of a panel in int8, of half a panel in int16,
// of a quarter in float); stores under a mask of rows, so that any rows of
// a band move at once.
#include <immintrin.h>

#include <cstddef>
#include <cstdint>

#include "kernels/line_moves.hpp"

// Compiled for the instruction set, and only called when the machine runs it.
#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("avx512f,avx512bw"))), apply_to = function)
#else
#pragma GCC push_options
#pragma GCC target("avx512f,avx512bw")
#endif
// GCC 12 warns about the undefined source operand inside its own
// interleave intrinsics.
#if !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
#include "kernels/line_transpose.hpp"

namespace itsolv {
namespace {

struct Avx512 {
  using Vec = __m512i;
  static constexpr int kBytes = 64;
  template <size_t E>
  static Vec lo(Vec a, Vec b) {
    if constexpr (E == 1)
      return _mm512_unpacklo_epi8(a, b);
    else if constexpr (E == 2)
      return _mm512_unpacklo_epi16(a, b);
    else
      return _mm512_unpacklo_epi32(a, b);
  }
  template <size_t E>
  static Vec hi(Vec a, Vec b) {
    if constexpr (E == 1)
      return _mm512_unpackhi_epi8(a, b);
    else if constexpr (E == 2)
      return _mm512_unpackhi_epi16(a, b);
    else
      return _mm512_unpackhi_epi32(a, b);
  }
  template <typename T>
  static Vec load(const T* const* rows, int step, int32_t c) {
    auto lane = [&](int l) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(rows[l * step] + c)); };
    Vec v = _mm512_castsi128_si512(lane(0));
    v = _mm512_inserti32x4(v, lane(1), 1);
    v = _mm512_inserti32x4(v, lane(2), 2);
    return _mm512_inserti32x4(v, lane(3), 3);
  }
  using Kept = uint64_t;
  template <typename T>
  static Kept kept(uint64_t keep) {
    return keep;
  }
  template <typename T>
  static void store(T* dst, Vec v) {
    _mm512_storeu_si512(dst, v);
  }
  // Writes only the kept rows' bytes: the others may lie past the panel.
  template <typename T>
  static void store(T* dst, Vec v, Kept keep) {
    if constexpr (sizeof(T) == 1)
      _mm512_mask_storeu_epi8(dst, static_cast<__mmask64>(keep), v);
    else if constexpr (sizeof(T) == 2)
      _mm512_mask_storeu_epi16(dst, static_cast<__mmask32>(keep), v);
    else
      _mm512_mask_storeu_epi32(dst, static_cast<__mmask16>(keep), v);
  }
};

}  // namespace

LineMover line_mover_avx512() {
  return {64, true, move_lines<Avx512, int8_t>, move_lines<Avx512, int16_t>, move_lines<Avx512, float>};
}

}  // namespace itsolv

#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC pop_options
#endif

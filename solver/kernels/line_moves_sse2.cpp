// The mover of every x86-64 machine: sixteen bytes of a column line at a
// time (sixteen rows of int8, eight of int16, four of float).
#include <emmintrin.h>

#include "kernels/line_moves.hpp"
#include "kernels/line_transpose.hpp"

namespace itsolv {
namespace {

struct Sse2 {
  using Vec = __m128i;
  static constexpr int kBytes = 16;
  template <size_t E>
  static Vec lo(Vec a, Vec b) {
    if constexpr (E == 1)
      return _mm_unpacklo_epi8(a, b);
    else if constexpr (E == 2)
      return _mm_unpacklo_epi16(a, b);
    else
      return _mm_unpacklo_epi32(a, b);
  }
  template <size_t E>
  static Vec hi(Vec a, Vec b) {
    if constexpr (E == 1)
      return _mm_unpackhi_epi8(a, b);
    else if constexpr (E == 2)
      return _mm_unpackhi_epi16(a, b);
    else
      return _mm_unpackhi_epi32(a, b);
  }
  template <typename T>
  static Vec load(const T* const* rows, int, int32_t c) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(rows[0] + c));
  }
  using Kept = Vec;
  template <typename T>
  static Kept kept(uint64_t keep) {
    const KeptBytes<T, kBytes> m(keep);
    return _mm_load_si128(reinterpret_cast<const __m128i*>(m.b));
  }
  template <typename T>
  static void store(T* dst, Vec v) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst), v);
  }
  template <typename T>
  static void store(T* dst, Vec v, Kept m) {
    const Vec old = _mm_loadu_si128(reinterpret_cast<const __m128i*>(dst));
    store(dst, _mm_or_si128(_mm_and_si128(m, v), _mm_andnot_si128(m, old)));
  }
};

}  // namespace

LineMover line_mover_sse2() {
  return {16, false, move_lines<Sse2, int8_t>, move_lines<Sse2, int16_t>, move_lines<Sse2, float>};
}

}  // namespace itsolv

// The movers of every x86-64 machine: sixteen bytes of a column line at a
// time through the shared transposition, and eight bytes (eight rows of
// int8, four of int16) for groups that sixteen bytes of rows do not fit.
#include <emmintrin.h>

#include "load/line_moves.hpp"
#include "load/line_transpose.hpp"

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
  template <typename T>
  static void store(T* dst, Vec v, uint64_t) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst), v);
  }
};

// The columns from c on, one value at a time, of G rows side by side.
template <int G, typename T>
void move_rest(const T* const* rows, T* dst, size_t stride, int32_t c, int32_t n) {
  for (; c < n; ++c)
    for (int r = 0; r < G; ++r) dst[static_cast<size_t>(c) * stride + static_cast<size_t>(r)] = rows[r][c];
}

// Eight bytes of each of `count` registers, two columns a register: its
// low half at out, its high half one column later; the next register two
// columns on.
template <typename T>
void store_pairs(T* out, size_t stride, const __m128i* d, int count) {
  for (int k = 0; k < count; ++k, out += 2 * stride) {
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out), d[k]);
    _mm_storeh_pd(reinterpret_cast<double*>(out + stride), _mm_castsi128_pd(d[k]));
  }
}

// Eight rows of int8 side by side in each column: sixteen columns at a
// time, transposed with the byte and word interleaves.
void move_eight(const int8_t* const* rows, int8_t* dst, size_t stride, int32_t n, uint64_t) {
  int32_t c = 0;
  for (; c + 16 <= n; c += 16) {
    __m128i a[8], b[8], d[8];
    for (int r = 0; r < 8; ++r) a[r] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(rows[r] + c));
    for (int r = 0; r < 8; r += 2) {
      b[r] = _mm_unpacklo_epi8(a[r], a[r + 1]);  // columns 0-7, rows r and r + 1
      b[r + 1] = _mm_unpackhi_epi8(a[r], a[r + 1]);
    }
    // Four rows of columns 0-3, 4-7, 8-11, 12-15, for rows 0-3 and 4-7.
    const __m128i q[8] = {_mm_unpacklo_epi16(b[0], b[2]), _mm_unpackhi_epi16(b[0], b[2]),
                          _mm_unpacklo_epi16(b[1], b[3]), _mm_unpackhi_epi16(b[1], b[3]),
                          _mm_unpacklo_epi16(b[4], b[6]), _mm_unpackhi_epi16(b[4], b[6]),
                          _mm_unpacklo_epi16(b[5], b[7]), _mm_unpackhi_epi16(b[5], b[7])};
    for (int k = 0; k < 4; ++k) {
      d[2 * k] = _mm_unpacklo_epi32(q[k], q[k + 4]);  // columns 4k, 4k + 1
      d[2 * k + 1] = _mm_unpackhi_epi32(q[k], q[k + 4]);
    }
    store_pairs(dst + static_cast<size_t>(c) * stride, stride, d, 8);
  }
  move_rest<8>(rows, dst, stride, c, n);
}

// Four rows of int16: eight columns at a time.
void move_four(const int16_t* const* rows, int16_t* dst, size_t stride, int32_t n, uint64_t) {
  int32_t c = 0;
  for (; c + 8 <= n; c += 8) {
    __m128i a[4];
    for (int r = 0; r < 4; ++r) a[r] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(rows[r] + c));
    const __m128i b[4] = {_mm_unpacklo_epi16(a[0], a[1]), _mm_unpackhi_epi16(a[0], a[1]),
                          _mm_unpacklo_epi16(a[2], a[3]), _mm_unpackhi_epi16(a[2], a[3])};
    const __m128i d[4] = {_mm_unpacklo_epi32(b[0], b[2]), _mm_unpackhi_epi32(b[0], b[2]),
                          _mm_unpacklo_epi32(b[1], b[3]), _mm_unpackhi_epi32(b[1], b[3])};
    store_pairs(dst + static_cast<size_t>(c) * stride, stride, d, 4);
  }
  move_rest<4>(rows, dst, stride, c, n);
}

}  // namespace

LineMover line_mover_sse2_16() {
  return {16, false, move_lines<Sse2, int8_t>, move_lines<Sse2, int16_t>, move_lines<Sse2, float>};
}

// Floats have no eight-byte mover: four rows of them fill sixteen bytes.
LineMover line_mover_sse2_8() { return {8, false, move_eight, move_four, nullptr}; }

}  // namespace itsolv

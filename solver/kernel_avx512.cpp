// Kernel for AVX-512: a panel's 64 rows are four vectors of 16 lanes.
#include <immintrin.h>

#include <algorithm>

#include "kernels.hpp"
#include "matrix.hpp"

#pragma GCC push_options
#pragma GCC target("avx512f")
// GCC 12 warns about the undefined source operand inside its own widening
// intrinsics.
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
// Included under the target so that its loop is vectorised for it.
#include "abs_sums.hpp"

namespace itsolv {
namespace {

struct Avx512Tag {};

constexpr int P = Matrix::kPanel;

// Products and sums with a fixed operand order. When both operands are NaN
// the result is the first one's, and the compiler may swap the operands of
// a plain vector + or *; the plain statement s = curr[j] * a[i][j] + s is
// compiled as curr[j] * a[i][j] and s + product, so that is the order here.
inline __m512 mul(__m512 first, __m512 second) {
  __m512 r;
  asm("vmulps %2, %1, %0" : "=v"(r) : "v"(first), "v"(second));
  return r;
}
inline __m512 add(__m512 first, __m512 second) {
  __m512 r;
  asm("vaddps %2, %1, %0" : "=v"(r) : "v"(first), "v"(second));
  return r;
}

// The 16 coefficients of lanes 16q .. 16q+15 in one column, as floats.
template <typename T>
inline __m512 load16(const T* col, int q);
template <>
inline __m512 load16<int8_t>(const int8_t* col, int q) {
  return _mm512_cvtepi32_ps(_mm512_cvtepi8_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(col + 16 * q))));
}
template <>
inline __m512 load16<int16_t>(const int16_t* col, int q) {
  return _mm512_cvtepi32_ps(_mm512_cvtepi16_epi32(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(col + 16 * q))));
}
template <>
inline __m512 load16<float>(const float* col, int q) {
  return _mm512_loadu_ps(col + 16 * q);
}

template <typename T>
void sweep_panels(const SweepData& d, int32_t p0, int32_t p1) {
  const int32_t n = d.n;
  for (int32_t p = p0; p < p1; ++p) {
    const T* panel = d.a->panel<T>(p);
    const int32_t r0 = p * P;
    const int32_t diag_end = std::min(n, r0 + P);
    __m512 s0 = _mm512_setzero_ps(), s1 = s0, s2 = s0, s3 = s0;
    auto columns = [&](int32_t j0, int32_t j1) {
      for (int32_t j = j0; j < j1; ++j) {
        const __m512 c = _mm512_set1_ps(d.curr[j]);
        const T* col = panel + static_cast<size_t>(j) * P;
        s0 = add(s0, mul(c, load16(col, 0)));
        s1 = add(s1, mul(c, load16(col, 1)));
        s2 = add(s2, mul(c, load16(col, 2)));
        s3 = add(s3, mul(c, load16(col, 3)));
      }
    };
    columns(0, r0);
    for (int32_t j = r0; j < diag_end; ++j) {
      // Every lane but the diagonal's takes the product.
      const uint64_t keep = ~(uint64_t{1} << (j - r0));
      const __m512 c = _mm512_set1_ps(d.curr[j]);
      const T* col = panel + static_cast<size_t>(j) * P;
      s0 = _mm512_mask_mov_ps(s0, static_cast<__mmask16>(keep), add(s0, mul(c, load16(col, 0))));
      s1 = _mm512_mask_mov_ps(s1, static_cast<__mmask16>(keep >> 16), add(s1, mul(c, load16(col, 1))));
      s2 = _mm512_mask_mov_ps(s2, static_cast<__mmask16>(keep >> 32), add(s2, mul(c, load16(col, 2))));
      s3 = _mm512_mask_mov_ps(s3, static_cast<__mmask16>(keep >> 48), add(s3, mul(c, load16(col, 3))));
    }
    columns(diag_end, n);
    alignas(64) float s[P];
    _mm512_store_ps(s, s0);
    _mm512_store_ps(s + 16, s1);
    _mm512_store_ps(s + 32, s2);
    _mm512_store_ps(s + 48, s3);
    for (int32_t i = r0; i < diag_end; ++i) d.x[i] = (d.b[i] - s[i - r0]) / d.diag[i];
  }
}

}  // namespace

SweepKernel sweep_kernel_avx512(Storage storage) {
  switch (storage) {
    case Storage::i8: return sweep_panels<int8_t>;
    case Storage::i16: return sweep_panels<int16_t>;
    default: return sweep_panels<float>;
  }
}

AbsSumKernel abs_sum_kernel_avx512(Storage storage) { return abs_sum_kernel_for<Avx512Tag>(storage); }

}  // namespace itsolv

#pragma GCC pop_options

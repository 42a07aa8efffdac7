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

// One panel of V vectors' height.
template <typename T, int V>
void sweep_panel(const SweepData& d, int32_t p) {
  constexpr int H = 16 * V;
  const int32_t n = d.n;
  const T* panel = d.a->panel<T>(p);
  const int32_t r0 = d.a->panel_row(p);
  const int32_t diag_end = std::min(d.a->row_end(), r0 + H);
  __m512 s[V];
  for (int q = 0; q < V; ++q) s[q] = _mm512_setzero_ps();
  auto columns = [&](int32_t j0, int32_t j1) {
    for (int32_t j = j0; j < j1; ++j) {
      const __m512 c = _mm512_set1_ps(d.curr[j]);
      const T* col = panel + static_cast<size_t>(j) * H;
      for (int q = 0; q < V; ++q) s[q] = add(s[q], mul(c, load16(col, q)));
    }
  };
  columns(0, r0);
  for (int32_t j = r0; j < diag_end; ++j) {
    // Every lane but the diagonal's takes the product.
    const uint64_t keep = ~(uint64_t{1} << (j - r0));
    const __m512 c = _mm512_set1_ps(d.curr[j]);
    const T* col = panel + static_cast<size_t>(j) * H;
    for (int q = 0; q < V; ++q)
      s[q] = _mm512_mask_mov_ps(s[q], static_cast<__mmask16>(keep >> (16 * q)), add(s[q], mul(c, load16(col, q))));
  }
  columns(diag_end, n);
  alignas(64) float out[H];
  for (int q = 0; q < V; ++q) _mm512_store_ps(out + 16 * q, s[q]);
  for (int32_t i = r0; i < diag_end; ++i) d.x[i] = (d.b[i] - out[i - r0]) / d.diag[i];
}

template <typename T>
void sweep_panels(const SweepData& d, int32_t p0, int32_t p1) {
  for (int32_t p = p0; p < p1; ++p) {
    switch (d.a->panel_height(p) / 16) {
      case 1: sweep_panel<T, 1>(d, p); break;
      case 2: sweep_panel<T, 2>(d, p); break;
      case 3: sweep_panel<T, 3>(d, p); break;
      default: sweep_panel<T, 4>(d, p); break;
    }
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

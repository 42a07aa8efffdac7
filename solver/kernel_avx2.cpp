// Kernel for AVX2: a panel's 64 rows are eight vectors of 8 lanes.
#include <immintrin.h>

#include <algorithm>

#include "kernels.hpp"
#include "matrix.hpp"

#pragma GCC push_options
#pragma GCC target("avx2")
// Included under the target so that its loop is vectorised for it.
#include "abs_sums.hpp"

namespace itsolv {
namespace {

struct Avx2Tag {};

constexpr int P = Matrix::kPanel;

// Products and sums with a fixed operand order: when both operands are NaN
// the result is the first one's, and the compiler may swap the operands of
// a plain vector + or *. The plain statement s = curr[j] * a[i][j] + s is
// compiled as curr[j] * a[i][j] and s + product, so that is the order here.
inline __m256 mul(__m256 first, __m256 second) {
  __m256 r;
  asm("vmulps %2, %1, %0" : "=x"(r) : "x"(first), "x"(second));
  return r;
}
inline __m256 add(__m256 first, __m256 second) {
  __m256 r;
  asm("vaddps %2, %1, %0" : "=x"(r) : "x"(first), "x"(second));
  return r;
}

template <typename T>
inline __m256 load8(const T* col, int q);
template <>
inline __m256 load8<int8_t>(const int8_t* col, int q) {
  return _mm256_cvtepi32_ps(_mm256_cvtepi8_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(col + 8 * q))));
}
template <>
inline __m256 load8<int16_t>(const int16_t* col, int q) {
  return _mm256_cvtepi32_ps(_mm256_cvtepi16_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(col + 8 * q))));
}
template <>
inline __m256 load8<float>(const float* col, int q) {
  return _mm256_loadu_ps(col + 8 * q);
}

// One panel of V vectors' height.
template <typename T, int V>
void sweep_panel(const SweepData& d, int32_t p) {
  constexpr int H = 8 * V;
  const int32_t n = d.n;
  const __m256i iota = _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7);
  const T* panel = d.a->panel<T>(p);
  const int32_t r0 = d.a->panel_row(p);
  const int32_t diag_end = std::min(d.a->row_end(), r0 + H);
  __m256 s[V];
  for (int q = 0; q < V; ++q) s[q] = _mm256_setzero_ps();
  auto columns = [&](int32_t j0, int32_t j1) {
    for (int32_t j = j0; j < j1; ++j) {
      const __m256 c = _mm256_set1_ps(d.curr[j]);
      const T* col = panel + static_cast<size_t>(j) * H;
      for (int q = 0; q < V; ++q) s[q] = add(s[q], mul(c, load8(col, q)));
    }
  };
  columns(0, r0);
  for (int32_t j = r0; j < diag_end; ++j) {
    const __m256 c = _mm256_set1_ps(d.curr[j]);
    const T* col = panel + static_cast<size_t>(j) * H;
    for (int q = 0; q < V; ++q) {
      const __m256 sum = add(s[q], mul(c, load8(col, q)));
      // The diagonal's lane keeps its sum.
      const __m256 skip = _mm256_castsi256_ps(_mm256_cmpeq_epi32(iota, _mm256_set1_epi32(j - r0 - 8 * q)));
      s[q] = _mm256_blendv_ps(sum, s[q], skip);
    }
  }
  columns(diag_end, n);
  alignas(32) float out[H];
  for (int q = 0; q < V; ++q) _mm256_store_ps(out + 8 * q, s[q]);
  for (int32_t i = r0; i < diag_end; ++i) d.x[i] = (d.b[i] - out[i - r0]) / d.diag[i];
}

template <typename T>
void sweep_panels(const SweepData& d, int32_t p0, int32_t p1) {
  for (int32_t p = p0; p < p1; ++p) {
    switch (d.a->panel_height(p) / 16) {
      case 1: sweep_panel<T, 2>(d, p); break;
      case 2: sweep_panel<T, 4>(d, p); break;
      case 3: sweep_panel<T, 6>(d, p); break;
      default: sweep_panel<T, 8>(d, p); break;
    }
  }
}

}  // namespace

SweepKernel sweep_kernel_avx2(Storage storage) {
  switch (storage) {
    case Storage::i8: return sweep_panels<int8_t>;
    case Storage::i16: return sweep_panels<int16_t>;
    default: return sweep_panels<float>;
  }
}

AbsSumKernel abs_sum_kernel_avx2(Storage storage) { return abs_sum_kernel_for<Avx2Tag>(storage); }

}  // namespace itsolv

#pragma GCC pop_options

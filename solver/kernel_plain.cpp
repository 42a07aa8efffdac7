// Kernel for any x86-64: one row's sum per array element, across the panel.
#include <immintrin.h>

#include <algorithm>

#include "abs_sums.hpp"
#include "kernels.hpp"

namespace itsolv {
namespace {

struct PlainTag {};

constexpr int P = Matrix::kPanel;

// Products and sums with a fixed operand order, four lanes at a time (SSE is
// part of every x86-64). When both operands are NaN the result is the first
// one's, and the compiler may swap the operands of a plain + or *; the plain
// statement s = curr[j] * a[i][j] + s is compiled as curr[j] * a[i][j] and
// s + product, so that is the order here.
inline __m128 mul(__m128 first, __m128 second) {
  asm("mulps %1, %0" : "+x"(first) : "x"(second));
  return first;
}
inline __m128 add(__m128 first, __m128 second) {
  asm("addps %1, %0" : "+x"(first) : "x"(second));
  return first;
}

// One panel of V vectors' height.
template <typename T, int V>
void sweep_panel(const SweepData& d, int32_t p) {
  constexpr int H = 4 * V;
  const int32_t n = d.n;
  const T* panel = d.a->panel<T>(p);
  const int32_t r0 = d.a->panel_row(p);
  const int32_t diag_end = std::min(d.a->row_end(), r0 + H);
  __m128 s[V];
  for (auto& v : s) v = _mm_setzero_ps();
  alignas(16) float a[H];
  auto column = [&](int32_t j) {
    const T* col = panel + static_cast<size_t>(j) * H;
    for (int l = 0; l < H; ++l) a[l] = static_cast<float>(col[l]);
    const __m128 c = _mm_set1_ps(d.curr[j]);
    for (int q = 0; q < V; ++q) s[q] = add(s[q], mul(c, _mm_load_ps(a + 4 * q)));
  };
  for (int32_t j = 0; j < r0; ++j) column(j);
  for (int32_t j = r0; j < diag_end; ++j) {
    // The diagonal's lane keeps its sum.
    const int lane = j - r0;
    const __m128 kept = s[lane / 4];
    column(j);
    alignas(16) float before[4], after[4];
    _mm_store_ps(before, kept);
    _mm_store_ps(after, s[lane / 4]);
    after[lane % 4] = before[lane % 4];
    s[lane / 4] = _mm_load_ps(after);
  }
  for (int32_t j = diag_end; j < n; ++j) column(j);
  alignas(16) float out[H];
  for (int q = 0; q < V; ++q) _mm_store_ps(out + 4 * q, s[q]);
  for (int32_t i = r0; i < diag_end; ++i) d.x[i] = (d.b[i] - out[i - r0]) / d.diag[i];
}

template <typename T>
void sweep_panels(const SweepData& d, int32_t p0, int32_t p1) {
  for (int32_t p = p0; p < p1; ++p) {
    switch (d.a->panel_height(p) / 16) {
      case 1: sweep_panel<T, 4>(d, p); break;
      case 2: sweep_panel<T, 8>(d, p); break;
      case 3: sweep_panel<T, 12>(d, p); break;
      default: sweep_panel<T, 16>(d, p); break;
    }
  }
}

}  // namespace

SweepKernel sweep_kernel_plain(Storage storage) {
  switch (storage) {
    case Storage::i8: return sweep_panels<int8_t>;
    case Storage::i16: return sweep_panels<int16_t>;
    default: return sweep_panels<float>;
  }
}

AbsSumKernel abs_sum_kernel_plain(Storage storage) { return abs_sum_kernel_for<PlainTag>(storage); }

}  // namespace itsolv

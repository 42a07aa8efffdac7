// Off-diagonal magnitude sums of the pre-check, computed across the rows of a
// panel: s = s + |a[i][k]| for k ascending. The diagonal's place in a panel
// holds zero, and adding |0| leaves any sum unchanged, so no lane is masked.
// Included by each kernel file, whose vectors carry one row a lane, so
// every row keeps its own order. `Isa` is a
// type local to the including file, which keeps each file's instantiation
// apart from the others'.
#pragma once

#include <algorithm>
#include <cmath>

#include "kernels/kernels.hpp"
#include "matrix/matrix.hpp"
#include "matrix/panel_height.hpp"

namespace itsolv {

template <typename Isa, typename T, int V>
void abs_sums_of_panel(const Matrix& a, int32_t p, float* sums) {
  constexpr int W = Isa::kWidth;
  constexpr int H = W * V;
  const int32_t n = a.n();
  const T* const panel = a.panel<T>(p);
  typename Isa::Vec s[V];
  for (int q = 0; q < V; ++q) s[q] = Isa::zero();
  for (int32_t k = 0; k < n; ++k) {
    const T* const col = panel + static_cast<size_t>(k) * H;
    for (int q = 0; q < V; ++q) s[q] = Isa::add(s[q], Isa::abs(Isa::load(col + W * q)));
  }
  alignas(64) float out[H];
  for (int q = 0; q < V; ++q) Isa::store(out + W * q, s[q]);
  const int32_t r0 = a.panel_row(p);
  const int32_t rows = std::min(H, a.row_end() - r0);
  for (int l = 0; l < rows; ++l) sums[r0 + l] = out[l];
}

template <typename Isa, typename T>
void abs_sums_of_panels(const Matrix& a, int32_t p0, int32_t p1, float* sums) {
  for (int32_t p = p0; p < p1; ++p)
    by_panel_height<Isa>(a.panel_height(p), [&](auto v) { abs_sums_of_panel<Isa, T, decltype(v)::value>(a, p, sums); });
}

template <typename Isa>
AbsSumKernel abs_sum_kernel_for(Storage storage) {
  return by_storage(storage, [](auto t) -> AbsSumKernel { return abs_sums_of_panels<Isa, decltype(t)>; });
}

}  // namespace itsolv

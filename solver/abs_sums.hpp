// Off-diagonal magnitude sums of the pre-check, computed across the rows of a
// panel: s = s + |a[i][k]| for k ascending. The diagonal's place in a panel
// holds zero, and adding |0| leaves any sum unchanged, so no lane is masked.
// Included by each kernel file, so that the loop is vectorised for that
// file's instruction set; every lane keeps its row's own order. `Isa` is a
// type local to the including file, which keeps each file's instantiation
// apart from the others'.
#pragma once

#include <algorithm>
#include <cmath>

#include "kernels.hpp"
#include "matrix.hpp"

namespace itsolv {

template <typename Isa, typename T>
void abs_sums_of_panels(const Matrix& a, int32_t p0, int32_t p1, float* sums) {
  constexpr int P = Matrix::kPanel;
  const int32_t n = a.n();
  for (int32_t p = p0; p < p1; ++p) {
    const T* panel = a.panel<T>(p);
    const int h = a.panel_height(p);
    float s[P] = {};
    for (int32_t k = 0; k < n; ++k) {
      const T* col = panel + static_cast<size_t>(k) * static_cast<size_t>(h);
      for (int l = 0; l < h; ++l) s[l] = s[l] + std::fabs(static_cast<float>(col[l]));
    }
    const int32_t r0 = a.panel_row(p);
    const int32_t rows = std::min(P, a.row_end() - r0);
    for (int l = 0; l < rows; ++l) sums[r0 + l] = s[l];
  }
}

template <typename Isa>
AbsSumKernel abs_sum_kernel_for(Storage storage) {
  switch (storage) {
    case Storage::i8:
      return abs_sums_of_panels<Isa, int8_t>;
    case Storage::i16:
      return abs_sums_of_panels<Isa, int16_t>;
    default:
      return abs_sums_of_panels<Isa, float>;
  }
}

}  // namespace itsolv

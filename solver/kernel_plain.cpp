// Kernel for any x86-64: one row's sum per array element, across the panel.
#include <algorithm>

#include "abs_sums.hpp"
#include "kernels.hpp"


namespace itsolv {
namespace {

struct PlainTag {};

constexpr int P = Matrix::kPanel;

template <typename T>
void sweep_panels(const SweepData& d, int32_t p0, int32_t p1) {
  const int32_t n = d.n;
  for (int32_t p = p0; p < p1; ++p) {
    const T* panel = d.a->panel<T>(p);
    const int32_t r0 = p * P;
    const int32_t diag_end = std::min(n, r0 + P);
    float s[P] = {};
    auto columns = [&](int32_t j0, int32_t j1) {
      for (int32_t j = j0; j < j1; ++j) {
        const float c = d.curr[j];
        const T* col = panel + static_cast<size_t>(j) * P;
        for (int l = 0; l < P; ++l) s[l] = c * static_cast<float>(col[l]) + s[l];
      }
    };
    columns(0, r0);
    for (int32_t j = r0; j < diag_end; ++j) {
      const float c = d.curr[j];
      const T* col = panel + static_cast<size_t>(j) * P;
      for (int l = 0; l < P; ++l)
        if (l != j - r0) s[l] = c * static_cast<float>(col[l]) + s[l];
    }
    columns(diag_end, n);
    for (int32_t i = r0; i < diag_end; ++i) d.x[i] = (d.b[i] - s[i - r0]) / d.diag[i];
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

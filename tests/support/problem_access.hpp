// A loaded Problem read element by element, and the Jacobi update of one row
// in the plain order of operations: what tests and the fuzzer compare the
// loader and the kernels against.
#pragma once

#include <cstdint>

#include "matrix/problem.hpp"

namespace testing_support {

// Element (row, col) of a row held, whatever the storage.
inline float element(const itsolv::Matrix& a, int32_t row, int32_t col) {
  return itsolv::by_storage(a.storage(),
                            [&](auto t) { return static_cast<float>(a.data<decltype(t)>()[a.index(row, col)]); });
}

// Coefficient a[i][j] of a row held, diagonal included.
inline float coefficient(const itsolv::Problem& p, int32_t i, int32_t j) {
  return i == j ? p.diag[i] : element(p.a, i, j);
}

// x[i] from curr, one row.
inline void update_var(itsolv::Problem& p, int32_t i) {
  float s = 0.0f;
  for (int32_t j = 0; j < p.num; ++j) {
    if (j == i) continue;
    s = p.curr[j] * element(p.a, i, j) + s;
  }
  p.x[i] = (p.b[i] - s) / p.diag[i];
}

}  // namespace testing_support

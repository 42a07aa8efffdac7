// A loaded Problem read element by element and held against values, and the
// Jacobi update of one row in the plain order of operations: what tests and
// the fuzzer compare the loader and the kernels against.
#pragma once

#include <cstdint>
#include <string>

#include "matrix/problem.hpp"
#include "support/float_bits.hpp"
#include "support/literal_solver.hpp"

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

// Where the problem differs from the values (in the rows it holds), or ""
// when it holds their bits. The diagonal is kept apart; its place in the
// panels holds zero.
inline std::string difference(const itsolv::Problem& p, const literal::Problem& v) {
  if (p.num != v.num || !same_bits(p.err, v.err)) return "count or tolerance";
  const itsolv::RowRange held = p.a.held();
  if (held.begin < 0 || held.begin > held.end || held.end > p.num) return "rows held out of range";
  auto at = [](int32_t i) { return std::string(" ").append(std::to_string(i)); };
  for (int32_t i = 0; i < v.num; ++i) {
    if (!same_bits(p.x[i], v.x[static_cast<size_t>(i)])) return "starting value" + at(i);
    if (!held.contains(i)) continue;
    if (!same_bits(p.b[i], v.b[static_cast<size_t>(i)])) return "right-hand side" + at(i);
    if (!same_bits(element(p.a, i, i), 0.0f)) return "the diagonal's place" + at(i);
    for (int32_t j = 0; j < v.num; ++j)
      if (!same_bits(coefficient(p, i, j), v.a[static_cast<size_t>(i) * v.num + j]))
        return "coefficient" + at(i) + at(j);
  }
  return "";
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

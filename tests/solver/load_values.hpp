// Fills a Problem directly from values, in a chosen storage or wider, so that
// tests can drive the pre-check and the sweeps without a file.
#pragma once

#include "matrix.hpp"
#include "problem.hpp"
#include "support/problem_values.hpp"

// Stores v, which must fit the matrix's storage, at (row, col).
inline void set_coefficient(itsolv::Matrix& a, int32_t row, int32_t col, float v) {
  const size_t k = a.index(row, col);
  switch (a.storage()) {
    case itsolv::Storage::i8: a.data<int8_t>()[k] = static_cast<int8_t>(v); break;
    case itsolv::Storage::i16: a.data<int16_t>()[k] = static_cast<int16_t>(v); break;
    default: a.data<float>()[k] = v; break;
  }
}

inline void load_values(itsolv::Problem& p, const testing_support::Values& v,
                        itsolv::Storage at_least = itsolv::Storage::i8) {
  using itsolv::Storage;
  const int32_t n = v.num;
  p.num = n;
  p.err = v.err;
  Storage need = at_least;
  for (int32_t i = 0; i < n; ++i)
    for (int32_t j = 0; j < n; ++j) {
      const Storage s = itsolv::storage_for(v.a[static_cast<size_t>(i) * n + j]);
      if (i != j && s > need) need = s;
    }
  if (!p.a.allocate(n) || !p.a.widen(need, n) || !p.diag.allocate(n) || !p.b.allocate(n) || !p.x.allocate(n) ||
      !p.curr.allocate(n))
    throw std::bad_alloc();
  for (int32_t i = 0; i < n; ++i) {
    for (int32_t j = 0; j < n; ++j) {
      const float c = v.a[static_cast<size_t>(i) * n + j];
      if (i == j)
        p.diag[i] = c;
      else
        set_coefficient(p.a, i, j, c);
    }
    p.b[i] = v.b[static_cast<size_t>(i)];
    p.x[i] = v.x[static_cast<size_t>(i)];
  }
}

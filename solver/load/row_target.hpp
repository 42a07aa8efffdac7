// Loading, stage 4: what the placement of values shares with the sources it
// reads them from (value_placement.cpp): a value read, and where the values
// of a row go.
#pragma once

#include <cstddef>
#include <cstdint>

#include "matrix/matrix.hpp"

namespace itsolv {

// One value and, for a short integer, the narrowest storage that holds it
// (f32 stands for "not worked out": a float matrix has no use for it).
struct Token {
  float value;
  int32_t whole;  // the value, when `fits` is narrower than float
  Storage fits;
};

// Where the values of a row held go: element (row, col) at
// base[col * stride], the diagonal apart.
template <typename T>
struct RowTarget {
  T* base;
  size_t stride;
  bool staged;  // into the stage, side by side in token order
  int32_t row;
  float* diag;
};

// Stores the values vals[0 .. count) of columns col, col + 1, ... of row
// `row`, whose element (row, 0) is at base.
template <typename T, typename V>
void store_run(T* base, size_t stride, int32_t row, int32_t col, int32_t count, const V* vals, float* diag) {
  auto put = [&](int32_t from, int32_t to) {
    for (int32_t c = from; c < to; ++c) base[static_cast<size_t>(c) * stride] = static_cast<T>(vals[c - col]);
  };
  if (row >= col && row < col + count) {
    put(col, row);
    diag[row] = static_cast<float>(vals[row - col]);
    put(row + 1, col + count);
  } else {
    put(col, col + count);
  }
}

// The same for a row target.
template <typename T, typename V>
void store_run(const RowTarget<T>& r, int32_t col, int32_t count, const V* vals) {
  store_run(r.base, r.stride, r.row, col, count, vals, r.diag);
}

}  // namespace itsolv

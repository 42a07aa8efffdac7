// The solver's problem state: created by the loader, read by the pre-check,
// updated by the sweeps.
#pragma once

#include <cstdint>

#include "buffer.hpp"
#include "matrix.hpp"

namespace itsolv {

struct Problem {
  int32_t num = 0;     // number of variables n
  float err = 0.0f;    // stopping tolerance
  Matrix a;            // off-diagonal coefficients of the rows held, row panels
  Buffer<float> diag;  // a[i][i]
  Buffer<float> b;     // right-hand side
  Buffer<float> x;     // newest estimate (after loading: the starting values)
  Buffer<float> curr;  // estimate of the previous sweep

  // The rows whose coefficients this state holds: all of them unless the
  // loader is told to keep a block of rows only (row_end -1: up to num).
  int32_t row_begin = 0;
  int32_t row_end = -1;
  // Or: block `block` of `blocks` contiguous blocks of rows, the rows
  // [num * block / blocks, num * (block + 1) / blocks), once num is read.
  int block = 0;
  int blocks = 1;

  // Coefficient a[i][j] of a row held, diagonal included.
  float coefficient(int32_t i, int32_t j) const { return i == j ? diag[i] : a.get(i, j); }
};

}  // namespace itsolv

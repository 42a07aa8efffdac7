// The solver's problem state: created by the loader, read by the pre-check,
// updated by the sweeps.
#pragma once

#include <cstdint>

#include "base/buffer.hpp"
#include "matrix/matrix.hpp"

namespace itsolv {

struct Problem {
  int32_t num = 0;     // number of variables n
  float err = 0.0f;    // stopping tolerance
  Matrix a;            // off-diagonal coefficients of the rows held (a.held()), row panels
  Buffer<float> diag;  // a[i][i]
  Buffer<float> b;     // right-hand side
  Buffer<float> x;     // newest estimate (after loading: the starting values)
  Buffer<float> curr;  // estimate of the previous sweep
};

}  // namespace itsolv

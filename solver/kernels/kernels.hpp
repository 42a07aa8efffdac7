// Sweep kernels: one Jacobi update of the rows of a range of panels.
//
// For each row i of the panels p0 .. p1-1 (rows below n), every kernel
// computes exactly
//     s = 0;  for j ascending, j != i:  s = curr[j] * a[i][j] + s
//     x[i] = (b[i] - s) / a[i][i]
// each product and each sum rounded to single precision, with vector lanes
// across rows, never along one. The variants differ only in speed.
#pragma once

#include <cstdint>

#include "base/isa.hpp"
#include "matrix/matrix.hpp"

namespace itsolv {

struct SweepData {
  const Matrix* a;
  const float* curr;
  const float* b;
  const float* diag;
  float* x;
  int32_t n;
  // When set, each row's off-diagonal magnitude sum too, from the same
  // reads: s = 0;  for j ascending:  s = s + |a[i][j]|, rounded each time.
  // The diagonal's place holds zero, and adding |0| leaves any sum as it
  // is, so no lane is masked. These are the pre-check's sums.
  float* sums = nullptr;
};

using SweepKernel = void (*)(const SweepData&, int32_t p0, int32_t p1);

// Per-ISA tables, each defined in a file compiled for that instruction set.
SweepKernel sweep_kernel_plain(Storage storage);
SweepKernel sweep_kernel_avx2(Storage storage);
SweepKernel sweep_kernel_avx512(Storage storage);

}  // namespace itsolv

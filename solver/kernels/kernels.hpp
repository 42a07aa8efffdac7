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
  // When set, each row's sum of |a[i][j]| too, as the AbsSumKernel gives it
  // (the same operations in the same order), from the same reads.
  float* sums = nullptr;
};

using SweepKernel = void (*)(const SweepData&, int32_t p0, int32_t p1);
// Off-diagonal magnitude sums of the rows of panels p0 .. p1-1 into sums[row].
using AbsSumKernel = void (*)(const Matrix&, int32_t p0, int32_t p1, float* sums);

// Per-ISA tables, each defined in a file compiled for that instruction set.
SweepKernel sweep_kernel_plain(Storage storage);
SweepKernel sweep_kernel_avx2(Storage storage);
SweepKernel sweep_kernel_avx512(Storage storage);
AbsSumKernel abs_sum_kernel_plain(Storage storage);
AbsSumKernel abs_sum_kernel_avx2(Storage storage);
AbsSumKernel abs_sum_kernel_avx512(Storage storage);

}  // namespace itsolv

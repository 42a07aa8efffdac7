#include "precheck.hpp"

#include <cmath>

#include "failure.hpp"

namespace itsolv {

void check_matrix(const Problem& p, Context& ctx) {
  const int32_t n = p.num;
  Buffer<float> sums;
  if (!sums.allocate(n)) fail("Cannot allocate a!\n");
  const AbsSumKernel kernel = abs_sum_kernel(ctx.isa, p.a.storage());
  ctx.for_panels(p.a.panels(), n, [&](int32_t p0, int32_t p1) { kernel(p.a, p0, p1, sums.data()); });

  // Rows in order: the first that fails is the one reported. Comparisons are
  // ordered, so a NaN neither fails a row nor makes it strict.
  int64_t strict = 0;
  for (int32_t i = 0; i < n; ++i) {
    const float d = std::fabs(p.diag[i]);
    const float s = sums[i];
    if (s > d)
      fail("The matrix will not converge.\naii = %f  sum = %f\n", static_cast<double>(d), static_cast<double>(s));
    if (d > s) ++strict;
  }
  if (strict == 0) fail("The matrix will not converge...\n");
}

}  // namespace itsolv

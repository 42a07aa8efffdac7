#include "solve/precheck.hpp"

#include <cmath>

#include "base/failure.hpp"
#include "kernels/isa_table.hpp"

namespace itsolv {

RowCheck check_rows(const Problem& p, Team& team) {
  const int32_t n = p.num;
  // The sums by row number, taken by the sweep kernel (see SweepData),
  // whose estimate goes to the second half and is dropped.
  Buffer<float> sums;
  if (!sums.allocate(int64_t{n} * 2)) fail("Cannot allocate the row sums!\n");
  const SweepData data{&p.a, p.x.data(), p.b.data(), p.diag.data(), sums.data() + n, n, sums.data()};
  const SweepKernel kernel = isa_table(team.isa).sweep(p.a.storage());
  team.for_panels(p.a.panels(), n, [&](int32_t p0, int32_t p1) { kernel(data, p0, p1); });
  return check_sums(p, sums.data());
}

RowCheck check_sums(const Problem& p, const float* sums) {
  // Rows in order: the first that fails is the one reported. Comparisons are
  // ordered, so a NaN neither fails a row nor makes it strict.
  RowCheck check;
  for (int32_t i = p.a.first_row(); i < p.a.row_end(); ++i) {
    const float d = std::fabs(p.diag[i]);
    const float s = sums[i];
    if (s > d) {
      check.failing_row = i;
      check.d = d;
      check.s = s;
      return check;
    }
    if (d > s) ++check.strict;
  }
  return check;
}

void fail_check(const RowCheck& check) {
  if (check.failing_row >= 0)
    fail("The matrix will not converge.\naii = %f  sum = %f\n", static_cast<double>(check.d),
         static_cast<double>(check.s));
  if (check.strict == 0) fail("The matrix will not converge...\n");
}

void check_matrix(const Problem& p, Team& team) { fail_check(check_rows(p, team)); }

}  // namespace itsolv

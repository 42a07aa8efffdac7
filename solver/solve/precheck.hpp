// The convergence pre-check: the matrix must be diagonally dominant by rows,
// weakly in every row and strictly in at least one.
#pragma once

#include "base/team.hpp"
#include "matrix/problem.hpp"

namespace itsolv {

// The pre-check of the rows held.
struct RowCheck {
  int32_t failing_row = -1;  // the first row whose sum exceeds its diagonal
  float d = 0.0f, s = 0.0f;  // that row's diagonal magnitude and sum
  int64_t strict = 0;        // rows before it (all rows held if none)
                             // that are strictly dominant
};
RowCheck check_rows(const Problem& p, Team& team);
// The same check of the rows held, given their sums (by row number).
RowCheck check_sums(const Problem& p, const float* sums);

// The Failure for a check of the whole matrix, if it failed.
void fail_check(const RowCheck& check);

// Returns when the matrix is accepted; otherwise throws the Failure that
// names the first failing row (or that no row is strictly dominant).
void check_matrix(const Problem& p, Team& team);

}  // namespace itsolv

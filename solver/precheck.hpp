// The convergence pre-check: the matrix must be diagonally dominant by rows,
// weakly in every row and strictly in at least one.
#pragma once

#include "context.hpp"
#include "problem.hpp"

namespace itsolv {

// Returns when the matrix is accepted; otherwise throws the Failure that
// names the first failing row (or that no row is strictly dominant).
void check_matrix(const Problem& p, Context& ctx);

}  // namespace itsolv

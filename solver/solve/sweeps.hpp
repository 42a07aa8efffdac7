// Jacobi sweeps and the stopping rule.
#pragma once

#include <cstdint>
#include <functional>

#include "base/team.hpp"
#include "matrix/problem.hpp"

namespace itsolv {

// curr <- x.
void copy_curr(Problem& p);

// The largest relative change |(x[i] - curr[i]) / x[i]| of the sweep just
// made. Component 0 seeds the maximum and a later one replaces it only when
// greater, so a NaN in component 0 is kept and any other NaN passed over.
float get_max_err(const Problem& p);

// x[i] from curr for every row held (see kernels.hpp); given `sums`, each
// row's magnitude sum too, as the pre-check takes it (sums[row]).
void sweep_rows(Problem& p, Team& team, float* sums = nullptr);

// One whole sweep: copy_curr, then sweep_rows.
void sweep(Problem& p, Team& team, float* sums = nullptr);

// Told of every sweep as soon as its largest relative change is known,
// before the stopping test: the sweep's number (from 1), that change and
// the tolerance err. Called once per sweep, so it must stay cheap.
using SweepWatch = std::function<void(int64_t sweep, float change, float err)>;

// Sweeps until the largest relative change is no longer above err and
// returns the number of sweeps. A sweep depends only on the estimate before
// it, so an estimate equal bit for bit to an earlier one means the stopping
// test can never pass: that throws the Failure that names both sweeps (the
// watch has been told of that sweep already).
// `complete`, when given, runs after each sweep's update (a process that
// holds a block of rows gathers the other rows' new values there).
// With check_first, the first sweep's reads of the matrix serve the
// pre-check too (check_matrix), which then refuses the matrix before
// anything of that sweep is used or told: one pass over the matrix fewer.
int64_t iterate(Problem& p, Team& team, const std::function<void(Problem&)>& complete = {},
                const SweepWatch& watch = {}, bool check_first = false);

}  // namespace itsolv

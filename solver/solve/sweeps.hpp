// Jacobi sweeps and the stopping rule.
#pragma once

#include <cstdint>
#include <functional>

#include "matrix/problem.hpp"
#include "base/team.hpp"

namespace itsolv {

// curr <- x.
void copy_curr(Problem& p);

// The largest relative change |(x[i] - curr[i]) / x[i]| of the sweep just
// made. Component 0 seeds the maximum and a later one replaces it only when
// greater, so a NaN in component 0 is kept and any other NaN passed over.
float get_max_err(const Problem& p);

// x[i] from curr for every row held (see kernels.hpp).
void sweep_rows(Problem& p, Team& team);

// One whole sweep: copy_curr, then sweep_rows.
void sweep(Problem& p, Team& team);

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
int64_t iterate(Problem& p, Team& team, const std::function<void(Problem&)>& complete = {},
                const SweepWatch& watch = {});

}  // namespace itsolv

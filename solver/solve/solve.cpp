#include "solve/solve.hpp"

#include "base/failure.hpp"
#include "load/loader.hpp"
#include "solve/precheck.hpp"
#include "solve/report.hpp"
#include "solve/sweeps.hpp"

namespace itsolv {

Outcome solve(Problem& p, Team& team, const SweepWatch& watch) {
  try {
    const int64_t sweeps = iterate(p, team, {}, watch, true);  // the pre-check in the first sweep
    return {format_report(p, sweeps), 0};
  } catch (const Failure& failure) {
    return {failure.message, 1};
  }
}

Outcome solve_file(const char* path, Team& team, const LoadOptions& options, common::Progress* progress,
                   const SweepWatch& watch) {
  Problem p;
  try {
    get_input(p, path, team.workers, options, progress);
  } catch (const Failure& failure) {
    return {failure.message, 1};
  }
  return solve(p, team, watch);
}

}  // namespace itsolv

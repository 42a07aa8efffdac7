#include "solve.hpp"

#include "failure.hpp"
#include "loader.hpp"
#include "precheck.hpp"
#include "report.hpp"
#include "sweeps.hpp"

namespace itsolv {

Outcome solve(Problem& p, Team& team, const SweepWatch& watch) {
  try {
    check_matrix(p, team);
    const int64_t sweeps = iterate(p, team, {}, watch);
    return {format_report(p, sweeps), 0};
  } catch (const Failure& failure) {
    return {failure.message, 1};
  }
}

Outcome solve_file(const char* path, Team& team, const LoadOptions& options, Progress* progress,
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

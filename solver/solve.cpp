#include "solve.hpp"

#include "failure.hpp"
#include "loader.hpp"
#include "precheck.hpp"
#include "report.hpp"
#include "sweeps.hpp"

namespace itsolv {

Outcome solve(Problem& p, Context& ctx, const SweepWatch& watch) {
  try {
    check_matrix(p, ctx);
    const int64_t sweeps = iterate(p, ctx, {}, watch);
    return {format_report(p, sweeps), 0};
  } catch (const Failure& failure) {
    return {failure.message, 1};
  }
}

Outcome solve_file(const char* path, Context& ctx, const SweepWatch& watch) {
  Problem p;
  try {
    get_input(p, path, ctx);
  } catch (const Failure& failure) {
    return {failure.message, 1};
  }
  return solve(p, ctx, watch);
}

}  // namespace itsolv

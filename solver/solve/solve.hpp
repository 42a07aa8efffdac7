// The solver from a loaded problem to its output: pre-check, sweeps, report.
#pragma once

#include <string>

#include "base/team.hpp"
#include "common/progress.hpp"
#include "load/loader.hpp"
#include "matrix/problem.hpp"
#include "solve/sweeps.hpp"

namespace itsolv {

struct Outcome {
  std::string text;  // what the program prints
  int status = 0;    // its exit status
};

// `watch`, when given, is told of every sweep.
Outcome solve(Problem& p, Team& team, const SweepWatch& watch = {});

// The whole run for one file: load, then solve.
Outcome solve_file(const char* path, Team& team, const LoadOptions& options = {}, common::Progress* progress = nullptr,
                   const SweepWatch& watch = {});

}  // namespace itsolv

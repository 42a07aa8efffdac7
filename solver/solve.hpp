// The solver from a loaded problem to its output: pre-check, sweeps, report.
#pragma once

#include <string>

#include "context.hpp"
#include "problem.hpp"
#include "sweeps.hpp"

namespace itsolv {

struct Outcome {
  std::string text;  // what the program prints
  int status = 0;    // its exit status
};

// `watch`, when given, is told of every sweep.
Outcome solve(Problem& p, Context& ctx, const SweepWatch& watch = {});

// The whole run for one file: load, then solve.
Outcome solve_file(const char* path, Context& ctx, const SweepWatch& watch = {});

}  // namespace itsolv

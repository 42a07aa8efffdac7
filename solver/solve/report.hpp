// The result report: every estimate with "%f", one a line, then the number
// of sweeps.
#pragma once

#include <cstdint>
#include <string>

#include "matrix/problem.hpp"

namespace itsolv {

std::string format_report(const Problem& p, int64_t sweeps);

}  // namespace itsolv

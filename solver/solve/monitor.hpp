// The --monitor lines: one "SWEEP CHANGE" line per sweep on standard error,
// the change printed with %g, ready for a plotting tool.
#pragma once

#include <cstdint>
#include <string_view>

#include "solve/sweeps.hpp"

namespace itsolv {

// The line for one sweep, in `line`: "12 0.00314159\n". A NaN change is
// "nan" whatever its sign bit.
std::string_view monitor_line(char (&line)[64], int64_t sweep, float change);

// A watch of the sweeps that writes each sweep's line to standard error at
// once, ignoring failures.
SweepWatch monitor_watch();

}  // namespace itsolv

#include "solve/monitor.hpp"

#include <cmath>
#include <cstdio>

#include "common/write_all.hpp"

namespace itsolv {

std::string_view monitor_line(char (&line)[64], int64_t sweep, float change) {
  const long long k = static_cast<long long>(sweep);
  const int length = std::isnan(change) ? std::snprintf(line, sizeof line, "%lld nan\n", k)
                                        : std::snprintf(line, sizeof line, "%lld %g\n", k, static_cast<double>(change));
  return length > 0 ? std::string_view(line, static_cast<size_t>(length)) : std::string_view();
}

SweepWatch monitor_watch() {
  return [](int64_t sweep, float change, float) {
    char line[64];
    common::write_stderr(monitor_line(line, sweep, change));
  };
}

}  // namespace itsolv

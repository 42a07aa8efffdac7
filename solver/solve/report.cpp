#include "solve/report.hpp"

#include <cstdio>

namespace itsolv {

std::string format_report(const Problem& p, int64_t sweeps) {
  std::string out;
  out.reserve(static_cast<size_t>(p.num) * 12 + 48);
  char line[400];  // "%f" of the largest float needs 46 bytes
  for (int32_t i = 0; i < p.num; ++i) {
    const int length = std::snprintf(line, sizeof line, "%f\n", static_cast<double>(p.x[i]));
    out.append(line, static_cast<size_t>(length));
  }
  const int length =
      std::snprintf(line, sizeof line, "total number of iterations: %lld\n", static_cast<long long>(sweeps));
  out.append(line, static_cast<size_t>(length));
  return out;
}

}  // namespace itsolv

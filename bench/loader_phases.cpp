// Times itsolv's phases on one problem file, in this process: loading
// (get_input), the pre-check (check_matrix), the sweeps and the report,
// each the median of RUNS runs, in seconds.
//
// usage: loader_phases FILE [RUNS]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "failure.hpp"
#include "loader.hpp"
#include "precheck.hpp"
#include "report.hpp"
#include "sweeps.hpp"
#include "team.hpp"

int main(int argc, char** argv) {
  if (argc < 2 || argc > 3) {
    std::fprintf(stderr, "usage: loader_phases FILE [RUNS]\n");
    return 2;
  }
  const int runs = argc == 3 ? std::max(1, std::atoi(argv[2])) : 3;
  using Clock = std::chrono::steady_clock;
  std::vector<double> phase[4];
  itsolv::Workers workers;
  itsolv::Team team{workers};
  try {
    for (int run = 0; run < runs; ++run) {
      itsolv::Problem p;
      auto t0 = Clock::now();
      itsolv::get_input(p, argv[1], workers);
      auto t1 = Clock::now();
      itsolv::check_matrix(p, team);
      auto t2 = Clock::now();
      const int64_t sweeps = itsolv::iterate(p, team, {}, {});
      auto t3 = Clock::now();
      const std::string report = itsolv::format_report(p, sweeps);
      auto t4 = Clock::now();
      const Clock::time_point at[] = {t0, t1, t2, t3, t4};
      for (int k = 0; k < 4; ++k) phase[k].push_back(std::chrono::duration<double>(at[k + 1] - at[k]).count());
      if (report.empty()) return 1;
    }
  } catch (const itsolv::Failure& f) {
    std::fputs(f.message.c_str(), stdout);
    return 1;
  }
  const char* names[] = {"load", "pre-check", "sweeps", "report"};
  for (int k = 0; k < 4; ++k) {
    std::sort(phase[k].begin(), phase[k].end());
    std::printf("%-10s %.4f s\n", names[k], phase[k][phase[k].size() / 2]);
  }
  return 0;
}

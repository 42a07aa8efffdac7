// Times itsolv's phases on one problem file, in this process: loading
// (get_input), the pre-check (check_matrix), the sweeps and the report,
// each the median of RUNS runs, in seconds of wall time and of the
// process's processor time (all threads), which a busy machine moves less.
//
// usage: loader_phases FILE [RUNS]
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "base/failure.hpp"
#include "load/loader.hpp"
#include "solve/precheck.hpp"
#include "solve/report.hpp"
#include "solve/sweeps.hpp"
#include "base/team.hpp"

int main(int argc, char** argv) {
  if (argc < 2 || argc > 3) {
    std::fprintf(stderr, "usage: loader_phases FILE [RUNS]\n");
    return 2;
  }
  const int runs = argc == 3 ? std::max(1, std::atoi(argv[2])) : 3;
  using Clock = std::chrono::steady_clock;
  auto cpu = [] {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) * 1e-6;
  };
  std::vector<double> phase[4], phase_cpu[4];
  itsolv::Workers workers;
  itsolv::Team team{workers};
  try {
    for (int run = 0; run < runs; ++run) {
      itsolv::Problem p;
      Clock::time_point at[5];
      double used[5];
      auto mark = [&](int k) {
        at[k] = Clock::now();
        used[k] = cpu();
      };
      mark(0);
      itsolv::get_input(p, argv[1], workers);
      mark(1);
      itsolv::check_matrix(p, team);
      mark(2);
      const int64_t sweeps = itsolv::iterate(p, team, {}, {});
      mark(3);
      const std::string report = itsolv::format_report(p, sweeps);
      mark(4);
      for (int k = 0; k < 4; ++k) {
        phase[k].push_back(std::chrono::duration<double>(at[k + 1] - at[k]).count());
        phase_cpu[k].push_back(used[k + 1] - used[k]);
      }
      if (report.empty()) return 1;
    }
  } catch (const itsolv::Failure& f) {
    std::fputs(f.message.c_str(), stdout);
    return 1;
  }
  const char* names[] = {"load", "pre-check", "sweeps", "report"};
  auto median = [](std::vector<double>& v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
  };
  for (int k = 0; k < 4; ++k)
    std::printf("%-10s %.4f s wall  %.4f s cpu\n", names[k], median(phase[k]), median(phase_cpu[k]));
  return 0;
}

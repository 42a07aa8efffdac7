// The team that sweeps: its threads and the instruction set of its kernels.
// Results never depend on either.
#pragma once

#include <algorithm>
#include <atomic>

#include "base/isa.hpp"
#include "base/row_range.hpp"
#include "base/workers.hpp"

namespace itsolv {

struct Team {
  Workers& workers;
  Isa isa = best_isa();
  // Work (panels x columns) below which one thread sweeps alone.
  int64_t threshold = int64_t{1} << 12;

  // Members of the team worth using for `panels` panels of n columns: a
  // small problem is swept faster by one thread than by a team that has to
  // meet after every sweep.
  int members_for(int32_t panels, int32_t n) const {
    const int64_t work = static_cast<int64_t>(panels) * n;
    if (work < threshold) return 1;
    return panels < workers.size() ? panels : workers.size();
  }

  // Runs job(begin, end) over the panels, in runs that the members take
  // from a shared counter as they come: a member that another process holds
  // up takes fewer, and one that never comes takes none.
  template <typename Job>
  void for_panels(int32_t panels, int32_t n, const Job& job) {
    const int members = members_for(panels, n);
    if (members <= 1) {
      job(int32_t{0}, panels);
      return;
    }
    const int32_t run = std::max(panels / (members * kRunsPerMember), int32_t{1});
    std::atomic<int32_t> next{0};
    workers.share([&](int k) {
      if (k >= members) return;
      for (int32_t p0; (p0 = next.fetch_add(run, std::memory_order_relaxed)) < panels;)
        job(p0, std::min(p0 + run, panels));
    });
  }

  // Runs of panels per member: enough that the last ones to finish end
  // close together.
  static constexpr int kRunsPerMember = 8;
};

}  // namespace itsolv

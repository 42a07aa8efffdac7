// The team that sweeps: its threads and the instruction set of its kernels.
// Results never depend on either.
#pragma once

#include "kernels.hpp"
#include "row_range.hpp"
#include "workers.hpp"

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

  // Runs job(begin, end) over the panels, split among the team.
  template <typename Job>
  void for_panels(int32_t panels, int32_t n, const Job& job) {
    const int members = members_for(panels, n);
    if (members <= 1) {
      job(int32_t{0}, panels);
      return;
    }
    workers.run([&](int k) {
      if (k >= members) return;
      const RowRange share = split(panels, members, k);
      job(share.begin, share.end);
    });
  }
};

}  // namespace itsolv

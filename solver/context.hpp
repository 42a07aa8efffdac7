// How the solver runs: the team of threads and the instruction set of its
// kernels. Results never depend on either.
#pragma once

#include "kernels.hpp"
#include "common/progress.hpp"
#include "workers.hpp"

namespace itsolv {

struct Context {
  Workers& workers;
  Isa isa = best_isa();
  // Work (panels x columns) below which one thread sweeps alone.
  int64_t team_threshold = int64_t{1} << 12;
  // The loader reads the file in chunks of part_bytes per team member
  // (compact_chunks times that while the matrix is stored compactly, as
  // memory is then plentiful and fewer chunks mean fewer meetings of the
  // team), and a chunk smaller than team_bytes is parsed by one thread.
  size_t part_bytes = size_t{256} << 10;
  size_t compact_chunks = 16;
  size_t team_bytes = size_t{64} << 10;
  // Told how loading advances; may be null.
  Progress* progress = nullptr;

  // Members of the team worth using for `panels` panels of n columns: a
  // small problem is swept faster by one thread than by a team that has to
  // meet after every sweep.
  int members_for(int32_t panels, int32_t n) const {
    const int64_t work = static_cast<int64_t>(panels) * n;
    if (work < team_threshold) return 1;
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
      const Range r = share(panels, members, k);
      job(static_cast<int32_t>(r.begin), static_cast<int32_t>(r.end));
    });
  }
};

}  // namespace itsolv

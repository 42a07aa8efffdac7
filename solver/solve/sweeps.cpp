#include "solve/sweeps.hpp"

#include <cmath>
#include <cstring>

#include "base/failure.hpp"
#include "kernels/isa_table.hpp"
#include "solve/precheck.hpp"

namespace itsolv {

void copy_curr(Problem& p) {
  if (p.num > 0) std::memcpy(p.curr.data(), p.x.data(), static_cast<size_t>(p.num) * sizeof(float));
}

float get_max_err(const Problem& p) {
  if (p.num <= 0) return 0.0f;
  float m = std::fabs((p.x[0] - p.curr[0]) / p.x[0]);
  for (int32_t i = 1; i < p.num; ++i) {
    const float c = std::fabs((p.x[i] - p.curr[i]) / p.x[i]);
    if (c > m) m = c;
  }
  return m;
}

void sweep(Problem& p, Team& team, float* sums) {
  copy_curr(p);
  sweep_rows(p, team, sums);
}

void sweep_rows(Problem& p, Team& team, float* sums) {
  const SweepData data{&p.a, p.curr.data(), p.b.data(), p.diag.data(), p.x.data(), p.num, sums};
  const SweepKernel kernel = isa_table(team.isa).sweep(p.a.storage());
  team.for_panels(p.a.panels(), p.num, [&](int32_t p0, int32_t p1) { kernel(data, p0, p1); });
}

int64_t iterate(Problem& p, Team& team, const std::function<void(Problem&)>& complete, const SweepWatch& watch,
                bool check_first) {
  const size_t bytes = static_cast<size_t>(p.num) * sizeof(float);
  Buffer<float> sums;  // by row number, from the first sweep's reads
  if (check_first && !sums.allocate(p.num)) fail("Cannot allocate the row sums!\n");
  Buffer<float> checkpoint;  // the estimate after sweep 1, 2, 4, 8, ...
  if (!checkpoint.allocate(p.num)) fail("Cannot allocate the checkpoint!\n");
  int64_t checkpoint_sweep = 0;
  int64_t sweeps = 0;
  for (;;) {
    sweep(p, team, check_first && sweeps == 0 ? sums.data() : nullptr);
    if (check_first && sweeps == 0) fail_check(check_sums(p, sums.data()));
    if (complete) complete(p);
    const float e = get_max_err(p);
    ++sweeps;
    if (watch) watch(sweeps, e, p.err);
    if (!(e > p.err)) return sweeps;
    if (checkpoint_sweep > 0 && std::memcmp(checkpoint.data(), p.x.data(), bytes) == 0)
      fail("The iteration will not converge: sweep %lld repeats sweep %lld.\n", static_cast<long long>(sweeps),
           static_cast<long long>(checkpoint_sweep));
    if ((sweeps & (sweeps - 1)) == 0) {
      if (bytes > 0) std::memcpy(checkpoint.data(), p.x.data(), bytes);
      checkpoint_sweep = sweeps;
    }
  }
}

}  // namespace itsolv

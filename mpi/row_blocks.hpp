// The arithmetic of a problem split into contiguous row blocks, one per
// process: which rows each holds, how their pre-checks add up to the whole
// matrix's, and how many threads a process gets. Nothing here talks to MPI.
#pragma once

#include <cstdint>
#include <vector>

#include "base/row_range.hpp"
#include "solve/precheck.hpp"

namespace itsolv_mpi {

// Rows [displs[k], displs[k] + counts[k]) are block k of `blocks`: the rows
// the loader keeps for LoadOptions::block = k, in the form MPI_Allgatherv
// takes.
struct BlockLayout {
  std::vector<int> counts, displs;
};

inline BlockLayout block_layout(int32_t n, int blocks) {
  BlockLayout layout;
  for (int k = 0; k < blocks; ++k) {
    const itsolv::RowRange rows = itsolv::split(n, blocks, k);
    layout.displs.push_back(rows.begin);
    layout.counts.push_back(rows.size());
  }
  return layout;
}

// The pre-check of the whole matrix from those of its blocks, in row order:
// the first block that meets a failing row decides, with that row's values;
// otherwise the strictly dominant rows of all blocks count together.
inline itsolv::RowCheck join_checks(const std::vector<itsolv::RowCheck>& blocks) {
  itsolv::RowCheck whole;
  for (const itsolv::RowCheck& c : blocks) {
    if (c.failing_row >= 0) {
      const int64_t strict = whole.strict + c.strict;
      whole = c;
      whole.strict = strict;
      return whole;
    }
    whole.strict += c.strict;
  }
  return whole;
}

// Threads for one of `local_processes` processes on a node of `node_cores`
// cores: an equal share, no more than the cores the process may run on
// (`own_cores`, fewer when the launcher binds it), and at least one.
inline int threads_per_process(int node_cores, int own_cores, int local_processes) {
  int threads = local_processes > 0 ? node_cores / local_processes : node_cores;
  if (threads > own_cores) threads = own_cores;
  return threads < 1 ? 1 : threads;
}

}  // namespace itsolv_mpi

// The share of its node that one process of an MPI job takes.
#pragma once

#include <string>
#include <vector>

namespace itsolv_mpi {

// The number of worker threads for process `rank` of a job whose processes
// run on `hosts`: about its node's cores divided among the job's processes
// on the node, within the cores the launcher lets it run on, at least 1.
int worker_threads(const std::vector<std::string>& hosts, int rank);

}  // namespace itsolv_mpi

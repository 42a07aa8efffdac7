// The share of its node that one process of an MPI job takes.
#pragma once

#include <mpi.h>

namespace itsolv_mpi {

// Collective: the number of worker threads for this process, about the
// node's cores divided among the job's processes on the node, within the
// cores the launcher lets it run on, at least 1.
int worker_threads(MPI_Comm comm);

}  // namespace itsolv_mpi

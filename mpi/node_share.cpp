#include "node_share.hpp"

#include <unistd.h>

#include "row_blocks.hpp"
#include "workers.hpp"

namespace itsolv_mpi {

int worker_threads(MPI_Comm comm) {
  MPI_Comm node;
  MPI_Comm_split_type(comm, MPI_COMM_TYPE_SHARED, 0, MPI_INFO_NULL, &node);
  int on_node = 1;
  MPI_Comm_size(node, &on_node);
  MPI_Comm_free(&node);
  const long online = sysconf(_SC_NPROCESSORS_ONLN);
  const int node_cores = online > 0 ? static_cast<int>(online) : 1;
  return threads_per_process(node_cores, itsolv::available_cores(), on_node);
}

}  // namespace itsolv_mpi

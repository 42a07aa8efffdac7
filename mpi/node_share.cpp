#include "node_share.hpp"

#include <unistd.h>

#include <algorithm>

#include "row_blocks.hpp"
#include "base/workers.hpp"

namespace itsolv_mpi {

int worker_threads(const std::vector<std::string>& hosts, int rank) {
  const int on_node = static_cast<int>(std::count(hosts.begin(), hosts.end(), hosts[static_cast<size_t>(rank)]));
  const long online = sysconf(_SC_NPROCESSORS_ONLN);
  const int node_cores = online > 0 ? static_cast<int>(online) : 1;
  return threads_per_process(node_cores, itsolv::available_cores(), on_node);
}

}  // namespace itsolv_mpi

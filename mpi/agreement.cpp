#include "agreement.hpp"

#include <vector>

namespace itsolv_mpi {

namespace {
constexpr int kMessageTag = 1;
}

bool any_failed(MPI_Comm comm, bool failed) {
  int mine = failed ? 1 : 0, any = 0;
  MPI_Allreduce(&mine, &any, 1, MPI_INT, MPI_MAX, comm);
  return any != 0;
}

StepFailure agree(MPI_Comm comm, const StepFailure& mine) {
  int rank = 0, size = 1;
  MPI_Comm_rank(comm, &rank);
  MPI_Comm_size(comm, &size);
  const int failed = mine ? 1 : 0;
  std::vector<int> all(static_cast<size_t>(size));
  MPI_Allgather(&failed, 1, MPI_INT, all.data(), 1, MPI_INT, comm);
  int first = -1;
  for (int k = 0; k < size && first < 0; ++k)
    if (all[static_cast<size_t>(k)] != 0) first = k;
  if (first < 0) return std::nullopt;
  if (first == 0) return rank == 0 ? *mine : std::string();
  if (rank == first) {
    MPI_Send(mine->data(), static_cast<int>(mine->size()), MPI_CHAR, 0, kMessageTag, comm);
    return *mine;
  }
  if (rank != 0) return std::string();
  MPI_Status status;
  MPI_Probe(first, kMessageTag, comm, &status);
  int length = 0;
  MPI_Get_count(&status, MPI_CHAR, &length);
  std::string message(static_cast<size_t>(length), '\0');
  MPI_Recv(message.data(), length, MPI_CHAR, first, kMessageTag, comm, MPI_STATUS_IGNORE);
  return message;
}

}  // namespace itsolv_mpi

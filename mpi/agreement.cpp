#include "agreement.hpp"

#include <vector>

#include "bounded_wait.hpp"
#include "message_tags.hpp"

namespace itsolv_mpi {

bool any_failed(MPI_Comm comm, bool failed) {
  int mine = failed ? 1 : 0, any = 0;
  MPI_Request request;
  MPI_Iallreduce(&mine, &any, 1, MPI_INT, MPI_MAX, comm, &request);
  wait_one(comm, request);
  return any != 0;
}

StepFailure agree(MPI_Comm comm, const StepFailure& mine) {
  int rank = 0, size = 1;
  MPI_Comm_rank(comm, &rank);
  MPI_Comm_size(comm, &size);
  const int failed = mine ? 1 : 0;
  std::vector<int> all(static_cast<size_t>(size));
  MPI_Request request;
  MPI_Iallgather(&failed, 1, MPI_INT, all.data(), 1, MPI_INT, comm, &request);
  wait_one(comm, request);
  int first = -1;
  for (int k = 0; k < size && first < 0; ++k)
    if (all[static_cast<size_t>(k)] != 0) first = k;
  if (first < 0) return std::nullopt;
  if (first == 0) return rank == 0 ? *mine : std::string();
  // The message's length, then its text.
  int length = static_cast<int>(mine ? mine->size() : 0);
  if (rank == first) {
    MPI_Request sent[2];
    MPI_Isend(&length, 1, MPI_INT, 0, kMessageTag, comm, &sent[0]);
    MPI_Isend(mine->data(), length, MPI_CHAR, 0, kMessageTag, comm, &sent[1]);
    wait_all(comm, sent, 2);
    return *mine;
  }
  if (rank != 0) return std::string();
  MPI_Request got;
  MPI_Irecv(&length, 1, MPI_INT, first, kMessageTag, comm, &got);
  wait_one(comm, got);
  std::string message(static_cast<size_t>(length), '\0');
  MPI_Irecv(message.data(), length, MPI_CHAR, first, kMessageTag, comm, &got);
  wait_one(comm, got);
  return message;
}

}  // namespace itsolv_mpi

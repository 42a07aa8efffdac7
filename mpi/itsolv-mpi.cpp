// itsolv-mpi: itsolv spread over the processes of an MPI job. Started as
// `mpirun -np K itsolv-mpi FILE`, it prints exactly what itsolv prints for
// FILE, with the same exit status, whatever K is. Process 0 prints; every
// process holds one contiguous block of the matrix's rows.
#include <mpi.h>

#include <new>
#include <string>

#include "common/write_all.hpp"
#include "distributed_solve.hpp"
#include "node_share.hpp"

int main(int argc, char** argv) {
  itsolv::ignore_write_signals();
  const bool usage = argc != 2;
  const std::string path = usage ? std::string() : std::string(argv[1]);

  // Only the main thread calls MPI; the workers only sweep.
  int provided = 0;
  MPI_Init_thread(&argc, &argv, MPI_THREAD_FUNNELED, &provided);
  int rank = 0;
  MPI_Comm_rank(MPI_COMM_WORLD, &rank);

  itsolv::Outcome outcome;
  if (usage) {
    // The same words as itsolv, so that both print the same.
    outcome = {"Usage: itsolv filename\n", 1};
  } else {
    try {
      itsolv::Workers workers(itsolv_mpi::worker_threads(MPI_COMM_WORLD));
      itsolv::Team team{workers};
      outcome = itsolv_mpi::solve_file(path.c_str(), MPI_COMM_WORLD, team);
    } catch (const std::bad_alloc&) {
      // Only the report's text is left outside the agreed steps.
      outcome = {"Cannot allocate a!\n", 1};
    }
  }
  int status = outcome.status;
  if (rank == 0 && !itsolv::write_stdout("itsolv", outcome.text)) status = 1;
  MPI_Finalize();
  return status;
}

// itsolv-mpi: itsolv spread over the processes of an MPI job. Started as
// `mpirun -np K itsolv-mpi FILE`, it prints exactly what itsolv prints for
// FILE, with the same exit status, whatever K is; `itsolv-mpi --monitor
// FILE` prints a line per sweep on standard error, as itsolv does. Process 0
// prints; every process holds one contiguous block of the matrix's rows.
// `itsolv-mpi --help`, `-h` and `--version` print the help and the version
// instead.
#include <mpi.h>

#include <new>
#include <optional>
#include <string>
#include <string_view>

#include "common/write_all.hpp"
#include "distributed_solve.hpp"
#include "help.hpp"
#include "monitor.hpp"
#include "node_share.hpp"
#include "transport_defaults.hpp"

int main(int argc, char** argv) {
  itsolv::ignore_write_signals();
  const std::optional<std::string> requested = itsolv::requested_text(argc, argv, "itsolv-mpi");
  // --monitor is an option only as the first of exactly two arguments.
  const bool monitor = argc == 3 && std::string_view(argv[1]) == "--monitor";
  const bool usage = argc != 2 && !monitor;
  const std::string path = usage ? std::string() : std::string(argv[argc - 1]);

  itsolv_mpi::set_open_mpi_defaults();
  // Only the main thread calls MPI; the workers only sweep.
  int provided = 0;
  MPI_Init_thread(&argc, &argv, MPI_THREAD_FUNNELED, &provided);
  int rank = 0;
  MPI_Comm_rank(MPI_COMM_WORLD, &rank);

  itsolv::Outcome outcome;
  if (requested) {
    outcome = {*requested, 0};
  } else if (usage) {
    // The same words as itsolv, so that both print the same.
    outcome = {"Usage: itsolv filename\n", 1};
  } else {
    try {
      itsolv::Workers workers(itsolv_mpi::worker_threads(MPI_COMM_WORLD));
      itsolv::Team team{workers};
      itsolv::SweepWatch watch;
      if (monitor && rank == 0) watch = itsolv::monitor_watch();
      outcome = itsolv_mpi::solve_file(path.c_str(), MPI_COMM_WORLD, team, nullptr, watch);
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

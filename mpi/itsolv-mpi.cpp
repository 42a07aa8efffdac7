// itsolv-mpi: itsolv spread over the processes of an MPI job. Started as
// `mpirun -np K itsolv-mpi FILE`, it prints exactly what itsolv prints for
// FILE, with the same exit status, whatever K is; `itsolv-mpi --monitor
// FILE` prints a line per sweep on standard error, as itsolv does;
// `--wait SECONDS` (after --monitor, if given, before FILE) sets how long a
// process waits for the others before it ends the job (bounded_wait.hpp).
// Process 0 prints; every process holds one contiguous block of the
// matrix's rows. `itsolv-mpi --help`, `-h` and `--version` print the help
// and the version instead.
#include <mpi.h>

#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "bounded_wait.hpp"
#include "common/write_all.hpp"
#include "distributed_solve.hpp"
#include "help.hpp"
#include "node_share.hpp"
#include "solve/monitor.hpp"
#include "transport_defaults.hpp"

namespace {

// A command line of a run: [--monitor] [--wait SECONDS] FILE, each option
// only there and in that shape.
struct RunLine {
  bool monitor = false;
  double wait = itsolv_mpi::kDefaultWaitSeconds;
  std::string path;
};

std::optional<RunLine> run_line(int argc, char** argv) {
  RunLine line;
  int at = 1;
  line.monitor = argc >= 3 && std::string_view(argv[at]) == "--monitor";
  if (line.monitor) ++at;
  if (argc - at == 3 && std::string_view(argv[at]) == "--wait") {
    const std::optional<double> seconds = itsolv_mpi::parse_wait_seconds(argv[at + 1]);
    if (!seconds) return std::nullopt;
    line.wait = *seconds;
    at += 2;
  }
  if (argc - at != 1) return std::nullopt;
  line.path = argv[at];
  return line;
}

// itsolv's help, with the wait option and how a job runs.
itsolv::HelpExtras help_extras() {
  return {"       itsolv-mpi [--monitor] --wait SECONDS FILE\n",
          "Run under mpirun (mpirun -np K itsolv-mpi FILE): each process keeps a block\n"
          "of the matrix's rows, and process 0 prints exactly what itsolv prints.\n"
          "A process waits for the others at most SECONDS (60 by default; more while\n"
          "they read their parts of FILE); then the job ends with status 1 and\n"
          "\"itsolv-mpi: no answer from process P on HOST for S s\". Copies of FILE on\n"
          "several machines must be the same: copies that differ in size, in the head\n"
          "or where two processes' parts meet are refused.\n\n"};
}

}  // namespace

int main(int argc, char** argv) {
  common::ignore_write_signals();
  const std::optional<std::string> requested = itsolv::requested_text(argc, argv, "itsolv-mpi", help_extras());
  const std::optional<RunLine> line = run_line(argc, argv);

  itsolv_mpi::set_open_mpi_defaults();
  // Only the main thread calls MPI; the workers only sweep.
  int provided = 0;
  MPI_Init_thread(&argc, &argv, MPI_THREAD_FUNNELED, &provided);
  int rank = 0;
  MPI_Comm_rank(MPI_COMM_WORLD, &rank);

  itsolv::Outcome outcome;
  if (requested) {
    outcome = {*requested, 0};
  } else if (!line) {
    // The same words as itsolv, so that both print the same.
    outcome = {"Usage: itsolv filename\n", 1};
  } else {
    try {
      itsolv_mpi::set_wait_seconds(line->wait);
      const std::vector<std::string>& hosts = itsolv_mpi::learn_hosts(MPI_COMM_WORLD);
      itsolv::Workers workers(itsolv_mpi::worker_threads(hosts, rank));
      itsolv::Team team{workers};
      itsolv::SweepWatch watch;
      if (line->monitor && rank == 0) watch = itsolv::monitor_watch();
      outcome = itsolv_mpi::solve_file(line->path.c_str(), MPI_COMM_WORLD, team, nullptr, watch);
    } catch (const std::bad_alloc&) {
      // Only the report's text is left outside the agreed steps.
      outcome = {"Cannot allocate a!\n", 1};
    }
  }
  int status = outcome.status;
  if (rank == 0 && !common::write_stdout("itsolv", outcome.text)) status = 1;
  MPI_Finalize();
  return status;
}

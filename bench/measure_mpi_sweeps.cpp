// itsolv-mpi-measure FILE: runs the solver of itsolv-mpi on FILE and prints,
// on process 0, instead of the report, one line:
//   sweeps S seconds T peak_kb P0 P1 ...
// S is the number of sweeps (0 when the run failed), T the wall time from the
// end of loading on the last process to finish it to the end of the run
// (pre-check and sweeps), and Pk the peak resident memory (VmHWM) of process
// k. bench/measure_mpi.sh turns two such runs into a time per sweep.
#include <mpi.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "common/progress.hpp"
#include "distributed_solve.hpp"
#include "node_share.hpp"

namespace {

double now() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// Notes the time at which loading ends.
class LoadEnd : public itsolv::Progress {
 public:
  void advance(uint64_t, uint64_t) override {}
  void finish() override { at = now(); }
  double at = 0.0;
};

long peak_kb() {
  FILE* status = std::fopen("/proc/self/status", "r");
  if (status == nullptr) return -1;
  char line[256];
  long kb = -1;
  while (std::fgets(line, sizeof line, status) != nullptr)
    if (std::strncmp(line, "VmHWM:", 6) == 0) kb = std::strtol(line + 6, nullptr, 10);
  std::fclose(status);
  return kb;
}

}  // namespace

int main(int argc, char** argv) {
  int provided = 0;
  MPI_Init_thread(&argc, &argv, MPI_THREAD_FUNNELED, &provided);
  int rank = 0, size = 1;
  MPI_Comm_rank(MPI_COMM_WORLD, &rank);
  MPI_Comm_size(MPI_COMM_WORLD, &size);
  if (argc != 2) {
    if (rank == 0) std::fprintf(stderr, "Usage: itsolv-mpi-measure filename\n");
    MPI_Finalize();
    return 1;
  }

  itsolv::Outcome outcome;
  double loaded = 0.0, end = 0.0;
  {
    itsolv::Workers workers(itsolv_mpi::worker_threads(MPI_COMM_WORLD));
    itsolv::Team team{workers};
    LoadEnd load_end;
    outcome = itsolv_mpi::solve_file(argv[1], MPI_COMM_WORLD, team, &load_end);
    end = now();
    MPI_Allreduce(&load_end.at, &loaded, 1, MPI_DOUBLE, MPI_MAX, MPI_COMM_WORLD);
  }

  const long mine = peak_kb();
  std::vector<long> peaks(static_cast<size_t>(size));
  MPI_Gather(&mine, 1, MPI_LONG, peaks.data(), 1, MPI_LONG, 0, MPI_COMM_WORLD);
  if (rank == 0) {
    const std::string tag = "total number of iterations: ";
    const size_t at = outcome.text.rfind(tag);
    const long sweeps = outcome.status == 0 && at != std::string::npos ? std::stol(outcome.text.substr(at + tag.size())) : 0;
    std::printf("sweeps %ld seconds %.6f peak_kb", sweeps, end - loaded);
    for (long kb : peaks) std::printf(" %ld", kb);
    std::printf("\n");
  }
  MPI_Finalize();
  return outcome.status;
}

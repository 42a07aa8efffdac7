// itsolv-mpi-measure FILE: runs the solver of itsolv-mpi on FILE and prints,
// on process 0, instead of the report, one line:
//   sweeps S seconds T peak_kb P0 P1 ... load_s L0 L1 ... rchar R0 R1 ...
// S is the number of sweeps (0 when the run failed), T the wall time from the
// end of loading on the last process to finish it to the end of the run
// (pre-check and sweeps), Pk the peak resident memory (VmHWM) of process k,
// Lk its time from the start of loading to its end, and Rk the bytes it has
// read (rchar of /proc/self/io: MPI's start-up reads a little too).
// bench/measure_mpi.sh turns two such runs into a time per sweep.
#include <mpi.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "bounded_wait.hpp"
#include "common/progress.hpp"
#include "distributed_solve.hpp"
#include "node_share.hpp"
#include "transport_defaults.hpp"

namespace {

double now() { return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count(); }

// Notes the time at which loading ends.
class LoadEnd : public common::Progress {
 public:
  void advance(uint64_t, uint64_t) override {}
  void finish() override { at = now(); }
  double at = 0.0;
};

// The number after `key` in the /proc file `path`; -1 when not there.
long proc_field(const char* path, const char* key) {
  FILE* file = std::fopen(path, "r");
  if (file == nullptr) return -1;
  char line[256];
  long value = -1;
  while (std::fgets(line, sizeof line, file) != nullptr)
    if (std::strncmp(line, key, std::strlen(key)) == 0) value = std::strtol(line + std::strlen(key), nullptr, 10);
  std::fclose(file);
  return value;
}

// Gathers one value of every process on process 0.
template <typename T>
std::vector<T> gather(T mine, MPI_Datatype type, int size) {
  std::vector<T> all(static_cast<size_t>(size));
  MPI_Gather(&mine, 1, type, all.data(), 1, type, 0, MPI_COMM_WORLD);
  return all;
}

}  // namespace

int main(int argc, char** argv) {
  itsolv_mpi::set_open_mpi_defaults();  // as itsolv-mpi starts
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
  double loaded = 0.0, end = 0.0, start = 0.0, load_end_at = 0.0;
  {
    itsolv::Workers workers(itsolv_mpi::worker_threads(itsolv_mpi::learn_hosts(MPI_COMM_WORLD), rank));
    itsolv::Team team{workers};
    LoadEnd load_end;
    start = now();
    outcome = itsolv_mpi::solve_file(argv[1], MPI_COMM_WORLD, team, &load_end);
    end = now();
    load_end_at = load_end.at;
    MPI_Allreduce(&load_end.at, &loaded, 1, MPI_DOUBLE, MPI_MAX, MPI_COMM_WORLD);
  }

  const std::vector<long> peaks = gather(proc_field("/proc/self/status", "VmHWM:"), MPI_LONG, size);
  const std::vector<double> loads = gather(load_end_at - start, MPI_DOUBLE, size);
  const std::vector<long> reads = gather(proc_field("/proc/self/io", "rchar:"), MPI_LONG, size);
  if (rank == 0) {
    const std::string tag = "total number of iterations: ";
    const size_t at = outcome.text.rfind(tag);
    const long sweeps =
        outcome.status == 0 && at != std::string::npos ? std::stol(outcome.text.substr(at + tag.size())) : 0;
    std::printf("sweeps %ld seconds %.6f peak_kb", sweeps, end - loaded);
    for (long kb : peaks) std::printf(" %ld", kb);
    std::printf(" load_s");
    for (double s : loads) std::printf(" %.4f", s);
    std::printf(" rchar");
    for (long r : reads) std::printf(" %ld", r);
    std::printf("\n");
  }
  MPI_Finalize();
  return outcome.status;
}

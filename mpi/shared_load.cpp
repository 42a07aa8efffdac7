#include "shared_load.hpp"

#include <fcntl.h>
#include <sys/stat.h>

#include "bounded_wait.hpp"
#include "load/file_reader.hpp"

namespace itsolv_mpi {

StepFailure load_shared(itsolv::Problem& p, const char* path, MPI_Comm comm, itsolv::Workers& workers,
                        common::Progress* progress) {
  int rank = 0, size = 1;
  MPI_Comm_rank(comm, &rank);
  MPI_Comm_size(comm, &size);
  itsolv::LoadOptions options;
  options.block = rank;
  options.blocks = size;
  if (size == 1) return agree(comm, attempt([&] { itsolv::get_input(p, path, workers, options, progress); }));
  struct Finish {
    common::Progress* progress;
    ~Finish() {
      if (progress != nullptr) progress->finish();
    }
  } finish{progress};

  // Process 0 alone opens the file first: a FIFO opened by every process
  // would hand each of them some of its bytes.
  enum Kind : int64_t { unopened, ranges, stream };
  int64_t kind_size[2] = {unopened, 0};
  itsolv::FileHandle file(rank == 0 ? open(path, O_RDONLY | O_CLOEXEC) : -1);
  if (rank == 0) {
    struct stat st {};
    if (file.fd() >= 0 && fstat(file.fd(), &st) == 0 && !S_ISDIR(st.st_mode)) {
      // Some files (under /proc) call themselves regular with size 0 and
      // still hold bytes: they are read as a stream.
      const bool sized = S_ISREG(st.st_mode) && st.st_size > 0;
      kind_size[0] = sized ? ranges : stream;
      kind_size[1] = sized ? st.st_size : 0;
    }
  }
  MPI_Request request;
  MPI_Ibcast(kind_size, 2, MPI_INT64_T, 0, comm, &request);
  wait_one(comm, request);
  if (kind_size[0] == unopened)
    return agree(comm, attempt([&] {
                   if (rank == 0) itsolv::fail("Cannot open file %s\n", path);
                 }));
  if (kind_size[0] == ranges)
    return load_ranges(p, path, file.fd(), static_cast<uint64_t>(kind_size[1]), comm, workers, options);
  return load_stream(p, path, file.fd(), comm, workers, options);
}

}  // namespace itsolv_mpi

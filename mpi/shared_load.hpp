// Loading a problem across the processes of an MPI job. Each process keeps
// its block of rows (LoadOptions::block of blocks).
//
// A file that can be read at an offset is cut into one byte range per
// process after the tolerance: each process reads the header and its own
// range only, a chunk at a time, counting the tokens and lines of each chunk
// and keeping its values in compact form (range_values.hpp); it learns from
// the counts of the ranges before it the index of its first token and its
// first line, hands the values of other processes' rows that lie in its
// range to their holders, and places what it holds. Any other file (a pipe, a FIFO, a
// terminal) is read by process 0, which hands every other process the
// starting values and its rows.
//
// Refusals are itsolv's, whichever process meets them: the first token in
// file order that is not a number, then a file that ends early, then every
// other failure.
#pragma once

#include <mpi.h>

#include <cstdint>

#include "agreement.hpp"
#include "common/progress.hpp"
#include "load/loader.hpp"
#include "matrix/problem.hpp"
#include "base/workers.hpp"

namespace itsolv_mpi {

// Collective over `comm`: loads the file at `path` into p (which must be
// new), keeping block `rank` of `size` blocks of rows. Returns the agreed
// failure, if any (its text on process 0). `progress` is told when loading
// ends.
StepFailure load_shared(itsolv::Problem& p, const char* path, MPI_Comm comm, itsolv::Workers& workers,
                        common::Progress* progress = nullptr);

// The two ways of loading, for a file that process 0 has opened as `fd`
// (other processes: -1) of `size` bytes.
StepFailure load_ranges(itsolv::Problem& p, const char* path, int fd, uint64_t size, MPI_Comm comm,
                        itsolv::Workers& workers, const itsolv::LoadOptions& options);
StepFailure load_stream(itsolv::Problem& p, const char* path, int fd, MPI_Comm comm, itsolv::Workers& workers,
                        const itsolv::LoadOptions& options);

}  // namespace itsolv_mpi

// The solver spread over the processes of an MPI communicator: each process
// loads, checks and sweeps one contiguous block of rows, and the new values
// of every sweep are gathered on all of them.
#pragma once

#include <mpi.h>

#include "solve/solve.hpp"

namespace itsolv_mpi {

// Collective over `comm`: the whole run for one file. Every process returns
// the same status; the text, the report or the one failure message, is
// complete on process 0 only. No failure of any process leaves the others
// waiting. `watch`, when given, is told of every sweep on this process.
itsolv::Outcome solve_file(const char* path, MPI_Comm comm, itsolv::Team& team, common::Progress* progress = nullptr,
                           const itsolv::SweepWatch& watch = {});

}  // namespace itsolv_mpi

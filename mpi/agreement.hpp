// Agreeing on failures across the processes of a run. A process that fails
// a step must not leave the others waiting in a collective call: after each
// step every process says whether it failed, and all of them learn the
// result together.
#pragma once

#include <mpi.h>

#include <new>
#include <optional>
#include <string>

#include "base/failure.hpp"

namespace itsolv_mpi {

// A step's outcome on this process: the message of its Failure, if any.
using StepFailure = std::optional<std::string>;

// Runs step() and returns the text of the itsolv::Failure it throws (memory
// running out counts as "Cannot allocate a!"), or nothing.
template <typename Step>
StepFailure attempt(const Step& step) {
  try {
    step();
    return std::nullopt;
  } catch (const itsolv::Failure& failure) {
    return failure.message;
  } catch (const std::bad_alloc&) {
    return std::string("Cannot allocate a!\n");
  }
}

// Collective: true on every process when `failed` is true on any.
bool any_failed(MPI_Comm comm, bool failed);

// Collective: when any process has a failure, returns on every process a
// value holding, on process 0, the message of the lowest-numbered failing
// process (which sends it over when it is not process 0 itself); nothing
// when none failed.
StepFailure agree(MPI_Comm comm, const StepFailure& mine);

}  // namespace itsolv_mpi

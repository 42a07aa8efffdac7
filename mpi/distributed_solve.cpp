#include "distributed_solve.hpp"

#include <cstddef>
#include <cstdint>
#include <vector>

#include "agreement.hpp"
#include "bounded_wait.hpp"
#include "solve/precheck.hpp"
#include "solve/report.hpp"
#include "row_blocks.hpp"
#include "shared_load.hpp"
#include "solve/sweeps.hpp"

namespace itsolv_mpi {
namespace {

// Thrown out of the sweeps on the processes that learn that another one
// failed before its first sweep; that one's message is the one printed.
struct OtherFailed {};

itsolv::Outcome failed(const std::string& message) { return {message, 1}; }

// A block's pre-check as MPI sees it, field by field, so that MPI can
// convert between machines that lay numbers out differently, where it is
// able to.
MPI_Datatype row_check_type() {
  static const MPI_Datatype type = [] {
    const int lengths[4] = {1, 1, 1, 1};
    const MPI_Aint offsets[4] = {offsetof(itsolv::RowCheck, failing_row), offsetof(itsolv::RowCheck, d),
                                 offsetof(itsolv::RowCheck, s), offsetof(itsolv::RowCheck, strict)};
    const MPI_Datatype fields[4] = {MPI_INT32_T, MPI_FLOAT, MPI_FLOAT, MPI_INT64_T};
    MPI_Datatype packed, spaced;
    MPI_Type_create_struct(4, lengths, offsets, fields, &packed);
    MPI_Type_create_resized(packed, 0, sizeof(itsolv::RowCheck), &spaced);
    MPI_Type_commit(&spaced);
    MPI_Type_free(&packed);
    return spaced;
  }();
  return type;
}

}  // namespace

itsolv::Outcome solve_file(const char* path, MPI_Comm comm, itsolv::Team& team, common::Progress* progress,
                           const itsolv::SweepWatch& watch) {
  int rank = 0, size = 1;
  MPI_Comm_rank(comm, &rank);
  MPI_Comm_size(comm, &size);

  // Loading: every process keeps its block of rows.
  itsolv::Problem p;
  if (const StepFailure f = load_shared(p, path, comm, team.workers, progress)) return failed(*f);

  // Pre-check: each block's, then the whole matrix's, the same on every
  // process, so every process fails or passes it alike.
  itsolv::RowCheck mine;
  if (const StepFailure f = agree(comm, attempt([&] { mine = itsolv::check_rows(p, team); }))) return failed(*f);
  std::vector<itsolv::RowCheck> checks(static_cast<size_t>(size));
  MPI_Request request;
  MPI_Iallgather(&mine, 1, row_check_type(), checks.data(), 1, row_check_type(), comm, &request);
  wait_one(comm, request);
  const itsolv::RowCheck whole = join_checks(checks);
  if (const StepFailure f = attempt([&] { itsolv::fail_check(whole); })) return failed(*f);

  // Sweeps: after each, every process holds the whole new estimate, so the
  // largest change, the stopping test and the test for a repeated estimate
  // come out the same everywhere and all stop after the same sweep. The one
  // failure that may strike a single process comes before the first sweep
  // (room for the sweeps' own state), so the first gathering starts with a
  // vote, which a process that failed before it joins from its handler.
  const BlockLayout layout = block_layout(p.num, size);
  bool voted = false;
  auto gather = [&](itsolv::Problem& q) {
    if (!voted) {
      voted = true;
      if (any_failed(comm, false)) throw OtherFailed{};
    }
    MPI_Request request;
    MPI_Iallgatherv(MPI_IN_PLACE, 0, MPI_DATATYPE_NULL, q.x.data(), layout.counts.data(), layout.displs.data(),
                    MPI_FLOAT, comm, &request);
    wait_one(comm, request);
  };
  int64_t sweeps = 0;
  StepFailure failure;
  try {
    failure = attempt([&] { sweeps = itsolv::iterate(p, team, gather, watch); });
  } catch (const OtherFailed&) {
  }
  if (failure && !voted) any_failed(comm, true);
  if (const StepFailure f = agree(comm, failure)) return failed(*f);

  return {rank == 0 ? itsolv::format_report(p, sweeps) : std::string(), 0};
}

}  // namespace itsolv_mpi

// Copies of the problem file: each machine of a job may read its own copy,
// at the same path. Processes compare what they can without reading the
// whole file: the file's size and its head (the count and the tolerance)
// before any reads its range, and the bytes read by both processes where
// two ranges meet. Copies that differ there are refused with "Cannot read
// file PATH: the copies of process A on HOST and process B on HOST differ
// in ..."; bytes that differ deeper inside a range are not seen.
#pragma once

#include <mpi.h>

#include <cstdint>
#include <vector>

#include "agreement.hpp"
#include "range_values.hpp"

namespace itsolv_mpi {

// What a process read of its copy's head: its size, the bytes of the head
// (-1 when it could not be read) and their hash.
struct HeadPrint {
  int64_t size = 0, head_bytes = -1;
  uint64_t hash = 0;
};

// The print of bytes [0, head_bytes) of the file `fd` of `size` bytes.
HeadPrint head_print(int fd, int64_t size, int64_t head_bytes);

// Collective: the failure, on every process, when any copy's size or head
// differs from process 0's; nothing when all agree.
StepFailure check_heads(const char* path, const HeadPrint& mine, MPI_Comm comm);

// A range's seams as numbers to gather with its counts.
constexpr int kSeamFields = 5;
void put_seams(const RangeValues& r, int64_t* fields);

// The failure for the first cut at which the seams of the ranges on either
// side differ. seams(k) points at process k's fields, failed(k) says whether
// its read failed (its seams then do not count); cut(k) is the offset at
// which range k starts.
template <typename Seams, typename Failed, typename Cut>
StepFailure check_seams(const char* path, int procs, const Seams& seams, const Failed& failed, const Cut& cut);

// The message for copies of processes a and b that differ in `what`.
std::string copies_differ(const char* path, int a, int b, const std::string& what);

}  // namespace itsolv_mpi

template <typename Seams, typename Failed, typename Cut>
itsolv_mpi::StepFailure itsolv_mpi::check_seams(const char* path, int procs, const Seams& seams, const Failed& failed,
                                                const Cut& cut) {
  for (int k = 0; k + 1 < procs; ++k) {
    const int64_t* const before = seams(k);  // its end seam: fields 3 and 4
    const int64_t* const after = seams(k + 1);
    if (failed(k) || failed(k + 1) || before[3] == 0) continue;  // nothing to compare
    const bool same = before[3] == after[0] && before[4] == after[1];
    // A range inside one token has read a part of the bytes before it.
    const bool shorter = after[2] != 0 && before[3] > after[0];
    if (!same && !shorter)
      return copies_differ(path, k, k + 1,
                           "the bytes from offset " + std::to_string(cut(k + 1) - 1) + ", where their ranges meet");
  }
  return std::nullopt;
}

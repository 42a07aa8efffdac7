// The tags of itsolv-mpi's point-to-point messages, each kind of message
// its own, so that no receive takes a message of another kind.
#pragma once

namespace itsolv_mpi {

// A failure's message, sent to process 0 by the first process that met one.
inline constexpr int kMessageTag = 1;
// The values of the tokens in a process's byte range that other processes'
// rows hold, exchanged after loading by ranges.
inline constexpr int kRangePieceTag = 2;
// What process 0 hands each process while it streams a file it cannot read
// at an offset.
inline constexpr int kStreamPieceTag = 3;
// A bounded wait's roll call: the call, the answer, and the notice to the
// printing process.
inline constexpr int kCallTag = 7, kHereTag = 8, kNoticeTag = 9;

}  // namespace itsolv_mpi

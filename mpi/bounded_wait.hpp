// Waiting for the other processes of a job, within a bound. Every wait of a
// run (each collective call, each message awaited) is a non-blocking MPI
// call finished here: the process polls it without pause for the first
// 2 ms, as a sweep's gathering usually takes no longer (Open MPI gives up
// the core a turn at each poll under mpi_yield_when_idle, which
// transport_defaults.hpp sets), then sleeps a sixteenth of the time waited
// so far between polls, at most 10 ms, so that a long wait costs almost no
// processor time and lasts at most a sixteenth longer than needed.
//
// When the bound passes with the call unfinished, the process calls the
// roll: it asks every other process, which answers from its own wait once
// that has lasted 2 ms, and gives them a second (at most the bound) to
// answer. A process
// that does not answer is stopped, cut off or busy elsewhere for as long as
// the bound. If everyone answered, the waiting goes on. Otherwise the
// lowest-numbered process that has answered, or is the caller, prints the
// one line
//   itsolv-mpi: no answer from process P on HOST for S s
// (P the lowest-numbered process that did not answer, S the bound), and
// ends the job with status 1 through MPI_Abort. Should MPI_Abort itself
// hang (a peer behind a dead link), the process ends itself a few seconds
// later with status 1.
#pragma once

#include <mpi.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace itsolv_mpi {

// The bound when none is given: long enough for a process on a loaded
// machine to finish a step that another has finished (README: "Waiting").
constexpr double kDefaultWaitSeconds = 60;

// Reading a range, which others wait for, gets the bound plus a second for
// every this many bytes of the largest range (10 MB/s, slow storage shared
// by several machines).
constexpr double kSlowestReadBytesPerSecond = 10e6;

// The bound for this process's waits from now on.
void set_wait_seconds(double seconds);

// A --wait value: a positive decimal number of seconds (digits with at most
// one point), at most 10^9; nothing for any other text.
std::optional<double> parse_wait_seconds(const char* text);

// Collective, bounded: every process's host name, kept for the messages.
// Returns them.
const std::vector<std::string>& learn_hosts(MPI_Comm comm);

// The host of `process` as learnt, or "an unknown host".
std::string host_name(int process);

// The message for a process that did not answer.
std::string no_answer_message(int process, const std::string& host, double seconds);

// Polls done() until it is true, within the bound plus `extra_seconds`.
// Ends the job (see above) when the bound passes.
void wait_until(MPI_Comm comm, const std::function<bool()>& done, double extra_seconds = 0);

// Waits for `count` requests to complete (MPI_Waitall, bounded).
void wait_all(MPI_Comm comm, MPI_Request* requests, int count, double extra_seconds = 0);

// Waits for one request to complete (MPI_Wait, bounded).
inline void wait_one(MPI_Comm comm, MPI_Request& request, double extra_seconds = 0) {
  wait_all(comm, &request, 1, extra_seconds);
}

}  // namespace itsolv_mpi

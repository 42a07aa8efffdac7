// What a test asks of a program's run (RunOptions) and what it learns of it
// (RunResult); run_program.hpp runs it.
#pragma once

#include <signal.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace testing_support {

struct RunOptions {
  // The working directory of the program, when not empty.
  std::string directory;
  // Standard output goes to this file (opened for writing) instead of the
  // capturing pipe, when not empty.
  std::string stdout_path;
  // Standard output is a pipe whose reading end is closed before the start.
  bool stdout_closed_pipe = false;
  // Standard output is not open at all.
  bool stdout_closed = false;
  // Standard input: /dev/null, this text through a pipe when set, or this
  // file when stdin_path is not empty.
  std::optional<std::string> stdin_text;
  std::string stdin_path;
  // Standard error is a new pseudo-terminal in raw mode instead of a pipe.
  bool stderr_terminal = false;
  // The program is stopped for 1.3 seconds at the first of hold_events
  // (inotify) on hold_path, when that is not empty.
  std::string hold_path;
  uint32_t hold_events = 0;
  // Restricts the program to this many CPUs when above zero.
  int cpus = 0;
  // Limits, when above 0: the address space (RLIMIT_AS), the stack
  // (RLIMIT_STACK, also the default size of a thread's stack) and the size
  // of files the program writes (RLIMIT_FSIZE).
  size_t memory_limit_bytes = 0, stack_limit_bytes = 0, file_size_limit_bytes = 0;
  // Runs in the child just before the program starts (umask, rlimits ...).
  std::function<void()> in_child;
  // Replaces the environment by exactly these strings when set.
  std::optional<std::vector<std::string>> environment;
  // Time limit; the program gets timeout_signal after it, and SIGKILL when
  // it has not ended two seconds later. What it printed until it ended is
  // kept.
  double timeout_seconds = 30.0;
  int timeout_signal = SIGKILL;
  // The program starts a process group of its own, and the time limit's
  // signals go to all of it (a shell's pipeline, mpirun's processes).
  bool own_group = false;
};

struct RunResult {
  std::string out;         // standard output (empty when redirected)
  std::string err;         // standard error
  bool exited = false;     // ended by exit(); status is then valid
  int status = -1;         // exit status
  int signal = 0;          // the signal that ended it, when not exited
  bool timed_out = false;  // killed at the time limit
  double seconds = 0.0;    // wall time
  long max_rss_kib = 0;    // peak resident memory

  // "exit 1", "signal 11", "timed out": for failure messages.
  std::string how() const {
    if (timed_out) return "timed out";
    if (exited) return "exit " + std::to_string(status);
    return "signal " + std::to_string(signal);
  }
};

// How the run ended and all it printed, for a failing assertion:
// EXPECT_EQ(run.status, 0) << run;
inline std::ostream& operator<<(std::ostream& out, const RunResult& run) {
  return out << run.how() << "\n--- standard output:\n" << run.out << "\n--- standard error:\n" << run.err << "\n---";
}

}  // namespace testing_support

// Faults: standard output that cannot take the output.
#include "cli/cli_support.hpp"

namespace cli {
namespace {

using Faults = CliTest;

std::string large_problem() {
  return ProblemMaker(5).problem(
      {.n = 300, .style = Style::kTinyIntegers, .allow_special = false, .allow_weak = false, .tolerance = "0.001"});
}

// Ended by exit with status 1, with a note on standard error.
::testing::AssertionResult failed_with_note(const RunResult& run) {
  if (run.exited && run.status == 1 && !run.err.empty()) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "expected exit 1 with a note on standard error, got " << run.how()
                                       << ", standard error: " << shown(run.err);
}

// Whatever the run comes to, standard output that cannot take it makes it
// fail, with a note, never by a signal: a full device, a file size limit
// below the report's size (not SIGXFSZ), a pipe without a reader (not
// SIGPIPE), no standard output at all.
TEST_F(Faults, UnwritableStandardOutputIsAFailureNotASignal) {
  SKIP_WITHOUT(testing_support::without_full_device());
  RunOptions full, limited, dead_pipe, closed;
  full.stdout_path = "/dev/full";
  limited.stdout_path = dir() + "/out.txt";
  limited.file_size_limit_bytes = 1000;
  dead_pipe.stdout_closed_pipe = true;
  closed.stdout_closed = true;
  const std::string small = write("small.txt", kTwoByTwo), large = write("large.txt", large_problem()),
                    refused = write("refused.txt", "2 0.001 0 0 1 2 1 0 5 1"), unreadable = write("bad.txt", "abc"),
                    missing = dir() + "/missing.txt";
  const struct {
    const char* name;
    RunOptions options;
    std::vector<std::vector<std::string>> runs;
  } cases[] = {
      {"full device", full, {{small}, {large}, {missing}, {refused}, {}}},
      {"file size limit", limited, {{large}}},
      {"closed pipe", dead_pipe, {{small}, {large}, {unreadable}, {}}},
      {"closed", closed, {{small}}},
  };
  for (const auto& c : cases)
    for (const auto& args : c.runs) {
      SCOPED_TRACE(std::string(c.name) + ": " + (args.empty() ? "no argument" : args[0]));
      EXPECT_TRUE(failed_with_note(itsolv(args, c.options)));
    }
}

// The program may share its work among threads, but a thread it cannot
// start must not end it: here the address space has no room for a second
// thread's stack (a single thread needs less than 4 MiB).
TEST_F(Faults, NoRoomForAnotherThreadStillSolves) {
  RunOptions options;
  options.memory_limit_bytes = size_t{10} << 20;
  options.stack_limit_bytes = size_t{8} << 20;
  EXPECT_TRUE(printed(solve_text(kTwoByTwo, "p.txt", options), kTwoByTwoOut, 0));
}

TEST_F(Faults, RegularFileReceivesExactlyTheOutput) {
  RunOptions options;
  options.stdout_path = dir() + "/out.txt";
  const RunResult run = solve_text(kTwoByTwo, "p.txt", options);
  EXPECT_TRUE(printed(run, "", 0));
  EXPECT_EQ(testing_support::read_file(options.stdout_path), kTwoByTwoOut);
}

}  // namespace
}  // namespace cli

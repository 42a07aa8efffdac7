// Faults: standard output that cannot take the output.
#include "cli/cli_support.hpp"

namespace cli {
namespace {

using Faults = CliTest;

const char kTwoByTwo[] = "2\n0.001\n0 0 \n200 37 3\n64 200 5\n";

std::string large_problem() {
  ProblemMaker maker(5);
  ProblemMaker::Options o;
  o.n = 300;
  o.style = Style::kTinyIntegers;
  o.allow_special = false;
  o.allow_weak = false;
  o.tolerance = "0.001";
  return maker.problem(o);
}

// Ended by exit with status 1, with a note on standard error.
::testing::AssertionResult failed_with_note(const RunResult& run) {
  if (run.exited && run.status == 1 && !run.err.empty()) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "expected exit 1 with a note on standard error, got " << run.how()
                                       << ", standard error: " << shown(run.err);
}

TEST_F(Faults, FullDeviceMakesASolvedRunFail) {
  RunOptions options;
  options.stdout_path = "/dev/full";
  EXPECT_TRUE(failed_with_note(solve_text(kTwoByTwo, "p.txt", options)));
  EXPECT_TRUE(failed_with_note(solve_text(large_problem(), "large.txt", options)));
}

TEST_F(Faults, FullDeviceKeepsAFailedRunFailed) {
  RunOptions options;
  options.stdout_path = "/dev/full";
  EXPECT_TRUE(failed_with_note(solve(dir() + "/missing.txt", options)));
  EXPECT_TRUE(failed_with_note(solve_text("2 0.001 0 0 1 2 1 0 5 1", "p.txt", options)));
  EXPECT_TRUE(failed_with_note(run_program(kItsolv, {}, options)));
}

// A file size limit below the report's size: a failed write, not SIGXFSZ.
TEST_F(Faults, FileSizeLimitIsAFailureNotASignal) {
  RunOptions options;
  options.stdout_path = dir() + "/out.txt";
  options.file_size_limit_bytes = 1000;
  EXPECT_TRUE(failed_with_note(solve_text(large_problem(), "large.txt", options)));
}

TEST_F(Faults, ClosedPipeIsAFailureNotASignal) {
  RunOptions options;
  options.stdout_closed_pipe = true;
  for (const auto& [name, text] : std::vector<std::pair<std::string, std::string>>{
           {"small", kTwoByTwo}, {"large", large_problem()}, {"refused", "abc"}}) {
    SCOPED_TRACE(name);
    const RunResult run = solve_text(text, "p.txt", options);
    EXPECT_TRUE(failed_with_note(run));
  }
  EXPECT_TRUE(failed_with_note(run_program(kItsolv, {}, options)));
}

TEST_F(Faults, ClosedStandardOutputIsAFailure) {
  RunOptions options;
  options.stdout_closed = true;
  const RunResult run = solve_text(kTwoByTwo, "p.txt", options);
  EXPECT_TRUE(run.exited) << run.how();
  EXPECT_EQ(run.status, 1);
}

// The program may share its work among threads, but a thread it cannot
// start must not end it: here the address space has no room for a second
// thread's stack (a single thread needs less than 4 MiB).
TEST_F(Faults, NoRoomForAnotherThreadStillSolves) {
  RunOptions options;
  options.memory_limit_bytes = size_t{10} << 20;
  options.stack_limit_bytes = size_t{8} << 20;
  EXPECT_TRUE(
      printed(solve_text(kTwoByTwo, "p.txt", options), "0.011029\n0.021472\ntotal number of iterations: 7\n", 0));
}

TEST_F(Faults, RegularFileReceivesExactlyTheOutput) {
  RunOptions options;
  options.stdout_path = dir() + "/out.txt";
  const RunResult run = solve_text(kTwoByTwo, "p.txt", options);
  EXPECT_TRUE(printed(run, "", 0));
  std::ifstream in(options.stdout_path, std::ios::binary);
  const std::string written((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(written, "0.011029\n0.021472\ntotal number of iterations: 7\n");
}

}  // namespace
}  // namespace cli

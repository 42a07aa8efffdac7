// RunProgram: the helper itself reports time-outs and signals, which the
// other tests rely on to tell a crash or a hang from a clean failure.
#include "cli/cli_support.hpp"

namespace cli {
namespace {

TEST(RunProgram, ReportsExitStatusAndBothStreams) {
  const RunResult run = run_program("/bin/sh", {"-c", "printf out; printf err >&2; exit 3"});
  EXPECT_TRUE(run.exited);
  EXPECT_EQ(run.status, 3);
  EXPECT_EQ(run.out, "out");
  EXPECT_EQ(run.err, "err");
}

TEST(RunProgram, KillsAProgramAtTheTimeLimit) {
  RunOptions options;
  options.timeout_seconds = 0.2;
  const RunResult run = run_program("/bin/sh", {"-c", "exec sleep 20"}, options);
  EXPECT_TRUE(run.timed_out);
  EXPECT_FALSE(run.exited);
  EXPECT_LT(run.seconds, 5.0);
}

TEST(RunProgram, ReportsTheSignalThatEndedAProgram) {
  const RunResult run = run_program("/bin/sh", {"-c", "kill -SEGV $$"});
  EXPECT_FALSE(run.exited);
  EXPECT_FALSE(run.timed_out);
  EXPECT_EQ(run.signal, SIGSEGV);
}

TEST(RunProgram, ClosedPipeGivesTheDefaultSigpipeBack) {
  RunOptions options;
  options.stdout_closed_pipe = true;
  const RunResult run = run_program("/bin/sh", {"-c", "exec yes"}, options);
  EXPECT_FALSE(run.exited);
  EXPECT_EQ(run.signal, SIGPIPE);
}

}  // namespace
}  // namespace cli

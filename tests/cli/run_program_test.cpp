// RunProgram: the helper itself reports exit statuses, time-outs and
// signals, which the other tests rely on to tell a crash or a hang from a
// clean failure.
#include "cli/cli_support.hpp"

namespace cli {
namespace {

TEST(RunProgram, ReportsHowAProgramEndedAndWhatItPrinted) {
  RunOptions timed, dead_pipe, termed;
  timed.timeout_seconds = 0.2;
  termed.timeout_seconds = 0.5;  // what it prints as it ends is kept too
  termed.timeout_signal = SIGTERM;
  termed.own_group = true;              // the shell's child gets the signal too
  dead_pipe.stdout_closed_pipe = true;  // the default SIGPIPE is given back
  const struct {
    const char* script;
    RunOptions options;
    std::string how, out, err;
  } cases[] = {{"printf out; printf err >&2; exit 3", {}, "exit 3", "out", "err"},
               {"printf out; printf err >&2; exec sleep 20", timed, "timed out", "out", "err"},
               {"(trap 'printf bye; exit 0' TERM; sleep 20 & wait); :", termed, "timed out", "bye", ""},
               {"kill -SEGV $$", {}, "signal " + std::to_string(SIGSEGV), "", ""},
               {"exec yes", dead_pipe, "signal " + std::to_string(SIGPIPE), "", ""}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.script);
    const RunResult run = run_program("/bin/sh", {"-c", c.script}, c.options);
    EXPECT_EQ(run.how(), c.how);
    EXPECT_EQ(run.exited, c.how.starts_with("exit"));
    EXPECT_EQ(run.timed_out, c.how == "timed out");
    EXPECT_EQ(run.out, c.out);
    EXPECT_EQ(run.err, c.err);
    EXPECT_LT(run.seconds, 5.0);
  }
}

}  // namespace
}  // namespace cli

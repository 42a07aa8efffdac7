// Faults: standard output that cannot take the output, and too little
// address space for a second thread; and the run helper itself, which the
// other tests rely on to tell a crash or a hang from a clean failure.
#include "cli/cli_support.hpp"

namespace cli {
namespace {

using Faults = CliTest;

// Whatever the run comes to, standard output that cannot take it makes it
// fail, with a note, never by a signal: a full device, a file size limit
// below the report's size (not SIGXFSZ), a pipe without a reader (not
// SIGPIPE), no standard output at all.
TEST_F(Faults, UnwritableStandardOutputIsAFailureNotASignal) {
  SKIP_WITHOUT(without_full_device());
  RunOptions full, limited, dead_pipe, closed;
  full.stdout_path = "/dev/full";
  limited.stdout_path = dir() + "/out.txt";
  limited.file_size_limit_bytes = 1000;
  dead_pipe.stdout_closed_pipe = true;
  closed.stdout_closed = true;
  const std::string small = write("small.txt", kTwoByTwo), refused = write("refused.txt", "2 0.001 0 0 1 2 1 0 5 1"),
                    large = write("large.txt", ProblemMaker(5).problem({.n = 300,
                                                                        .style = Style::kTinyIntegers,
                                                                        .allow_special = false,
                                                                        .allow_weak = false,
                                                                        .tolerance = "0.001"})),
                    unreadable = write("bad.txt", "abc"), missing = dir() + "/missing.txt";
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
      const RunResult run = itsolv(args, c.options);
      EXPECT_TRUE(run.exited && run.status == 1 && !run.err.empty())
          << c.name << ", " << (args.empty() ? "no argument" : args[0]) << ": expected exit 1 with a note: " << run;
    }
}

// Under a cap on the address space: a thread the program cannot start must
// not end it (here there is no room for a second thread's stack; a single
// thread needs less than 4 MiB); a token that never ends (here /dev/zero's
// bytes) is refused when memory runs out, with one line, never by a signal.
TEST_F(Faults, CappedAddressSpaceStillSolvesAndRefusesAnEndlessToken) {
  RunOptions options = within(20);
  options.memory_limit_bytes = size_t{10} << 20;
  options.stack_limit_bytes = size_t{8} << 20;
  EXPECT_TRUE(printed(solve_text(kTwoByTwo, "p.txt", options), kTwoByTwoOut, 0));
  options.memory_limit_bytes = size_t{64} << 20;
  options.stack_limit_bytes = 0;
  EXPECT_TRUE(read_refusal(solve("/dev/zero", options), "/dev/zero"));
}

TEST_F(Faults, RegularFileReceivesExactlyTheOutput) {
  RunOptions options;
  options.stdout_path = dir() + "/out.txt";
  EXPECT_TRUE(printed(solve_text(kTwoByTwo, "p.txt", options), "", 0));
  EXPECT_EQ(read_file(options.stdout_path), kTwoByTwoOut);
}

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

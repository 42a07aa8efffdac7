// The progress line on standard error while a long load, the sweeps or a
// write go on, shown only on a terminal and erased when the work ends.
#include <fcntl.h>
#include <sys/inotify.h>
#include <sys/stat.h>

#include <limits>

#include "cli/cli_support.hpp"
#include "common/progress_line.hpp"
#include "support/held_fifo.hpp"

namespace cli {
namespace {

const std::string kMkprob = MKPROB_PATH;

// The progress line on a clock of the test's own, started at 0: the calls
// of each script at their times, and all that the line writes.
TEST(ProgressLineTest, WritesWhatEachScriptCallsFor) {
  using Clock = common::ProgressLine::Clock;
  struct Call {
    double t;
    char what;  // 'a': advance(x, y); 's': sweep(x, y, z); 'f': finish()
    double x = 0, y = 0, z = 0;
  };
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const std::string erase = "\r\033[K";
  const struct {
    const char* name;
    std::vector<Call> calls;
    std::vector<std::string> written;
  } scripts[] = {
      {"nothing before the delay, nor any erasure after it", {{0.99, 'a', 50, 100}, {0.99, 'f'}}, {}},
      {"share, rate and time left", {{2, 'a', 50e6, 100e6}}, {"\rL  50%  25.0 MB/s  0:02 left\033[K"}},
      {"with no total, bytes and rate", {{2, 'a', 120e6, 0}}, {"\rL  120.0 MB  60.0 MB/s\033[K"}},
      {"long times and overshoot stay readable",
       {{1, 'a', 1e6, 3601e6}, {2, 'a', 200, 100}},
       {"\rL  0%  1.0 MB/s  1:00:00 left\033[K", "\rL  100%  0.0 MB/s  0:00 left\033[K"}},
      {"redraws at most once an interval (at 1.0, 1.25 and 1.6) and erases once",
       {{1.0, 'a', 10, 100},
        {1.1, 'a', 10, 100},
        {1.24, 'a', 10, 100},
        {1.25, 'a', 10, 100},
        {1.3, 'a', 10, 100},
        {1.6, 'a', 10, 100},
        {1.6, 'f'},
        {1.6, 'f'},
        {5, 'a', 20, 100}},
       {"\rL  10%  0.0 MB/s  0:09 left\033[K", "\rL  10%  0.0 MB/s  0:11 left\033[K",
        "\rL  10%  0.0 MB/s  0:14 left\033[K", erase}},
      {"sweeps show change and tolerance under the same rules",
       {{0.5, 's', 1, 1.0, 1e-4},
        {1.0, 's', 2, 0.0031, 1e-4},
        {1.1, 's', 3, 0.002, 1e-4},
        {1.3, 's', 40000000000, nan, -1.0},
        {1.3, 'f'},
        {1.3, 's', 5, 1.0, 1.0}},
       {"\rL sweep 2  change 3.1e-03  tolerance 1.0e-04\033[K",
        "\rL sweep 40000000000  change nan  tolerance -1.0e+00\033[K", erase}},
  };
  for (const auto& script : scripts) {
    SCOPED_TRACE(script.name);
    std::vector<std::string> written;
    Clock::time_point now{};
    common::ProgressLine line{"L", [&](std::string_view text) { written.emplace_back(text); }, [&] { return now; }};
    for (const Call& c : script.calls) {
      now = Clock::time_point{} + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(c.t));
      if (c.what == 'a') line.advance(static_cast<uint64_t>(c.x), static_cast<uint64_t>(c.y));
      if (c.what == 's') line.sweep(static_cast<int64_t>(c.x), static_cast<float>(c.y), static_cast<float>(c.z));
      if (c.what == 'f') line.finish();
    }
    EXPECT_EQ(written, script.written);
  }
}

// ---------------------------------------------------------------------------
// The programs under a terminal. Loading and writing are too fast to take a
// second on their own: itsolv is held stopped for a while right after it
// opens its file, or fed through a FIFO with a pause; mkprob writes into a
// FIFO that the test stops reading for a while.

constexpr auto kHold = std::chrono::milliseconds(1300);

// Runs `program` in `dir` with standard error on a new pseudo-terminal (or a
// pipe). When `watched` is set, the program is stopped for kHold at the
// first of `events` on that path.
RunResult run_held(const std::string& program, const std::vector<std::string>& args, const std::string& dir,
                   bool terminal, const std::string& watched = {}, uint32_t events = 0) {
  RunOptions options = within(60);
  options.directory = dir;
  options.stderr_terminal = terminal;
  options.hold_path = watched;
  options.hold_events = events;
  return run_program(program, args, options);
}

// What a terminal got: one line redrawn in place, starting with `label`,
// then erased; after an erasure only another line of the same program may
// follow (itsolv's sweeps after its loading).
::testing::AssertionResult shown_then_erased(const std::string& err, const std::string& label) {
  const std::string erase = "\r\033[K", program = label.substr(0, label.find(' ') + 1).insert(0, 1, '\r');
  bool sound = err.size() > erase.size() && err[0] == '\r' && err.find(label) == 1 &&
               err.find('\n') == std::string::npos && err.ends_with(erase);
  for (size_t at = err.find(erase); sound && at + erase.size() < err.size(); at = err.find(erase, at + 1))
    sound = err.compare(at + erase.size(), program.size(), program) == 0;
  if (!sound) return ::testing::AssertionFailure() << "standard error: " << shown(err);
  return ::testing::AssertionSuccess();
}

class ProgressOnTerminal : public ::testing::Test {
 protected:
  // One generated problem of 100 MB for the suite, and what itsolv prints
  // for it without a terminal.
  static void SetUpTestSuite() {
    dir_ = new TempDir;
    ASSERT_EQ(run_held(kMkprob, {"6000", "0.0001"}, dir_->path(), false).status, 0);
    plain_ = run_program(kItsolv, {problem()}).out;
  }
  static void TearDownTestSuite() { delete dir_; }
  // The program is held through inotify; standard error is a terminal.
  void SetUp() override {
    SKIP_WITHOUT(without_inotify());
    SKIP_WITHOUT(without_terminal());
  }
  static std::string problem() { return *dir_ / "6000.txt"; }

  // The first of a few runs of itsolv with `args`, held at its opening of
  // the problem, that showed something (a hold that comes too late does not).
  static RunResult first_shown(const std::vector<std::string>& args) {
    RunResult held;
    for (int attempt = 0; attempt < 3 && held.err.empty(); ++attempt)
      held = run_held(kItsolv, args, dir_->path(), true, problem(), IN_OPEN);
    return held;
  }

  static inline TempDir* dir_ = nullptr;
  static inline std::string plain_;
};

// Held while loading, the run shows its share, rate and time left; it is
// then past its first second when it sweeps: the loading's line is erased
// and each sweep may redraw the next one, unless --monitor's lines take its
// place. Standard output is what it is without a terminal; without one,
// held the same, nothing goes to standard error.
TEST_F(ProgressOnTerminal, ItsolvShowsItsLoadingThenGoesOnThroughTheSweepsUnlessMonitored) {
  const RunResult run = first_shown({problem()}), monitored = first_shown({"--monitor", problem()});
  EXPECT_EQ(run.status, 0);
  EXPECT_TRUE(shown_then_erased(run.err, "itsolv: loading"));
  for (const char* part :
       {"% ", " MB/s ", " left", "\r\033[K\ritsolv: sweep 1  change 1.0e+00  tolerance 1.0e-04\033[K"})
    EXPECT_NE(run.err.find(part), std::string::npos) << shown(part) << " in " << shown(run.err);
  EXPECT_TRUE(run.out == plain_) << "standard output differs from a run without a terminal";
  EXPECT_EQ(monitored.status, 0);
  EXPECT_TRUE(monitored.out == run.out);
  EXPECT_EQ(monitored.err.find("itsolv: sweep"), std::string::npos) << shown(monitored.err);
  EXPECT_NE(monitored.err.find("\r\033[K1 1\n2 "), std::string::npos) << shown(monitored.err);
  const RunResult not_terminal = run_held(kItsolv, {problem()}, dir_->path(), false, problem(), IN_OPEN);
  EXPECT_TRUE(not_terminal.status == 0 && not_terminal.err.empty()) << not_terminal.how() << shown(not_terminal.err);
}

TEST_F(ProgressOnTerminal, ItsolvReadingAPipeShowsBytesAndRate) {
  const std::string fifo = *dir_ / "fifo";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  ::signal(SIGPIPE, SIG_IGN);
  std::thread feeder([&] { feed_held(fifo, read_file(problem()), size_t{3} << 20, kHold); });
  const RunResult run = run_held(kItsolv, {fifo}, dir_->path(), true);
  feeder.join();
  ::unlink(fifo.c_str());
  EXPECT_EQ(run.status, 0);
  EXPECT_TRUE(shown_then_erased(run.err, "itsolv: loading"));
  EXPECT_NE(run.err.find(" MB  "), std::string::npos);
  EXPECT_EQ(run.err.find('%'), std::string::npos);
  EXPECT_TRUE(run.out == plain_) << "standard output differs from a run without a terminal";
}

// mkprob writing 6000.txt into a FIFO that the test reads: the first 3 MB,
// then nothing for kHold while mkprob waits to write, then the rest. On a
// terminal it shows its writing, then erases it; elsewhere nothing.
TEST_F(ProgressOnTerminal, MkprobShowsItsWritingThenErasesItOnATerminalOnly) {
  for (const bool terminal : {true, false}) {
    SCOPED_TRACE(terminal ? "terminal" : "pipe");
    TempDir here;
    const std::string fifo = here / "6000.txt";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const int fd = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    std::string written;
    std::thread reader([&] { written = read_held(fd, size_t{3} << 20, kHold); });
    const RunResult run = run_held(kMkprob, {"6000", "0.0001"}, here.path(), terminal);
    reader.join();
    ::close(fd);
    EXPECT_TRUE(run.status == 0 && run.out.empty()) << run;
    EXPECT_TRUE(terminal ? shown_then_erased(run.err, "mkprob: writing") : ::testing::AssertionResult(run.err.empty()))
        << shown(run.err);
    EXPECT_EQ(run.err.find(" left") != std::string::npos, terminal) << shown(run.err);
    EXPECT_TRUE(written == read_file(problem())) << "it differs from the file written without a terminal";
  }
}

}  // namespace
}  // namespace cli

// What the programs do for a person at a terminal: help and version on
// request, and a progress line on standard error while a long load, the
// sweeps or a write go on, shown only on a terminal and erased when the
// work ends.
#include <fcntl.h>
#include <sys/inotify.h>
#include <sys/stat.h>

#include <limits>
#include <regex>
#include <tuple>

#include "cli/cli_support.hpp"
#include "common/progress_line.hpp"
#include "support/held_fifo.hpp"

namespace cli {
namespace {

const std::string kMkprob = MKPROB_PATH;

// ---------------------------------------------------------------------------
// Help and version.

using HelpAndVersion = CliTest;

// Both programs, run in an empty directory that they must leave empty.
const struct Program {
  const char* name;
  std::string path;
  std::vector<const char*> help_parts;
} kPrograms[] = {{"itsolv", ITSOLV_PATH, {"Usage: itsolv FILE", "tolerance", "A[i][0] ... A[i][n-1] b[i]"}},
                 {"mkprob", MKPROB_PATH, {"Usage: mkprob N TOL", "N.txt", "100*N"}}};

RunResult request(const Program& program, const std::string& dir, const char* arg, const char* stdout_path = "") {
  RunOptions options;
  options.directory = dir;
  options.stdout_path = stdout_path;
  return run_program(program.path, {arg}, options);
}

// Help (under both its names) and version go to standard output, which
// must take them; the run writes no file.
TEST_F(HelpAndVersion, AnsweredOnStandardOutputThatMustTakeThem) {
  SKIP_WITHOUT(testing_support::without_full_device());
  for (const Program& program : kPrograms) {
    SCOPED_TRACE(program.name);
    const RunResult help = request(program, dir(), "--help");
    EXPECT_TRUE(help.exited && help.status == 0 && help.err.empty()) << help.how() << help.err;
    for (const char* part : program.help_parts) EXPECT_NE(help.out.find(part), std::string::npos) << part;
    EXPECT_TRUE(printed(request(program, dir(), "-h"), help.out, 0));
    const RunResult version = request(program, dir(), "--version");
    EXPECT_TRUE(version.exited && version.status == 0 && version.err.empty()) << version.how();
    EXPECT_TRUE(std::regex_match(version.out, std::regex(std::string(program.name) + " [0-9]+\\.[0-9]+\\.[0-9]+\n")))
        << version.out;
    for (const char* arg : {"--help", "--version"}) {
      const RunResult run = request(program, dir(), arg, "/dev/full");
      EXPECT_TRUE(run.exited && run.status == 1) << arg << ": " << run.how();
      EXPECT_NE(run.err.find("cannot write to standard output"), std::string::npos) << arg << run.err;
    }
  }
  EXPECT_TRUE(std::filesystem::is_empty(dir()));
}

// ---------------------------------------------------------------------------
// The progress line itself, on a clock of the test's own.

class ProgressLineTest : public ::testing::Test {
 protected:
  using Clock = common::ProgressLine::Clock;
  std::vector<std::string> written;
  Clock::time_point now{};
  common::ProgressLine line{"L", [this](std::string_view text) { written.emplace_back(text); }, [this] { return now; }};
  void at(double seconds) {
    now = Clock::time_point{} + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
  }
};

// Nothing before the delay (nor any erasure after it); then the share, rate
// and time left, or with no total the bytes and rate.
TEST_F(ProgressLineTest, ShowsShareRateAndTimeLeftOrBytesAfterTheDelay) {
  for (const auto& [t, done, total, shown] : std::vector<std::tuple<double, uint64_t, uint64_t, std::string>>{
           {0.99, 50, 100, ""},
           {2, 50'000'000, 100'000'000, "\rL  50%  25.0 MB/s  0:02 left\033[K"},
           {2, 120'000'000, 0, "\rL  120.0 MB  60.0 MB/s\033[K"}}) {
    written.clear();
    at(0);  // a line of its own, started at 0
    common::ProgressLine fresh{"L", [this](std::string_view text) { written.emplace_back(text); },
                               [this] { return now; }};
    at(t);
    fresh.advance(done, total);
    if (shown.empty()) fresh.finish();
    EXPECT_EQ(written, shown.empty() ? std::vector<std::string>{} : std::vector<std::string>{shown}) << t;
  }
}

TEST_F(ProgressLineTest, LongTimesAndOvershootStayReadable) {
  at(1);
  line.advance(1'000'000, 3'601'000'000);
  at(2);
  line.advance(200, 100);
  ASSERT_EQ(written.size(), 2u);
  EXPECT_NE(written[0].find("1:00:00 left"), std::string::npos) << written[0];
  EXPECT_NE(written[1].find("100%"), std::string::npos) << written[1];
  EXPECT_NE(written[1].find("0:00 left"), std::string::npos) << written[1];
}

TEST_F(ProgressLineTest, RedrawsAtMostOnceAnIntervalAndErasesOnce) {
  for (const double t : {1.0, 1.1, 1.24, 1.25, 1.3, 1.6}) {
    at(t);
    line.advance(10, 100);
  }
  EXPECT_EQ(written.size(), 3u);  // at 1.0, 1.25 and 1.6
  line.finish();
  line.finish();
  at(5);
  line.advance(20, 100);
  ASSERT_EQ(written.size(), 4u);
  EXPECT_EQ(written.back(), "\r\033[K");
}

TEST_F(ProgressLineTest, SweepsShowChangeAndToleranceUnderTheSameRules) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  for (const auto& [t, sweep, change, tolerance] :
       std::vector<std::tuple<double, int64_t, float, float>>{{0.5, 1, 1.0f, 1e-4f},  // before the delay
                                                              {1.0, 2, 0.0031f, 1e-4f},
                                                              {1.1, 3, 0.002f, 1e-4f},  // within the interval
                                                              {1.3, 40000000000, nan, -1.0f}}) {
    at(t);
    line.sweep(sweep, change, tolerance);
  }
  line.finish();
  line.sweep(5, 1.0f, 1.0f);
  EXPECT_EQ(written,
            (std::vector<std::string>{"\rL sweep 2  change 3.1e-03  tolerance 1.0e-04\033[K",
                                      "\rL sweep 40000000000  change nan  tolerance -1.0e+00\033[K", "\r\033[K"}));
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
  RunOptions options;
  options.directory = dir;
  options.stderr_terminal = terminal;
  options.hold_path = watched;
  options.hold_events = events;
  options.timeout_seconds = 60;
  return run_program(program, args, options);
}

// What a terminal got: one line redrawn in place, starting with `label`,
// then erased; after an erasure only another line of the same program may
// follow (itsolv's sweeps after its loading).
::testing::AssertionResult shown_then_erased(const std::string& err, const std::string& label) {
  const std::string erase = "\r\033[K", program = "\r" + label.substr(0, label.find(' ') + 1);
  bool sound = err.size() > erase.size() && err[0] == '\r' && err.find(label) == 1 &&
               err.find('\n') == std::string::npos && err.ends_with(erase);
  for (size_t at = err.find(erase); sound && at + erase.size() < err.size(); at = err.find(erase, at + 1))
    sound = err.compare(at + erase.size(), program.size(), program) == 0;
  if (!sound) return ::testing::AssertionFailure() << "standard error: " << shown(err);
  return ::testing::AssertionSuccess();
}

class ProgressOnTerminal : public ::testing::Test {
 protected:
  // One generated problem of 100 MB for the suite.
  static void SetUpTestSuite() {
    dir_ = new TempDir;
    ASSERT_EQ(run_held(kMkprob, {"6000", "0.0001"}, dir_->path(), false).status, 0);
  }
  static void TearDownTestSuite() { delete dir_; }
  // The program is held through inotify; standard error is a terminal.
  void SetUp() override {
    SKIP_WITHOUT(testing_support::without_inotify());
    SKIP_WITHOUT(testing_support::without_terminal());
  }
  static std::string problem() { return dir_->path() + "/6000.txt"; }
  static std::string plain_output() { return run_program(kItsolv, {problem()}).out; }

  // The first of a few runs in which the program was held before its work
  // ended (a hold that comes too late shows nothing).
  template <typename Run>
  static RunResult first_shown(const Run& run) {
    RunResult held;
    for (int attempt = 0; attempt < 3 && held.err.empty(); ++attempt) held = run();
    return held;
  }

  static TempDir* dir_;
};

TempDir* ProgressOnTerminal::dir_ = nullptr;

// Held while loading, the run shows its share, rate and time left; it is
// then past its first second when it sweeps: the loading's line is erased
// and each sweep may redraw the next one, unless --monitor's lines take its
// place. Standard output is what it is without a terminal.
TEST_F(ProgressOnTerminal, ItsolvShowsItsLoadingThenGoesOnThroughTheSweepsUnlessMonitored) {
  const RunResult run =
      first_shown([] { return run_held(kItsolv, {problem()}, dir_->path(), true, problem(), IN_OPEN); });
  EXPECT_EQ(run.status, 0);
  EXPECT_TRUE(shown_then_erased(run.err, "itsolv: loading"));
  for (const char* part :
       {"% ", " MB/s ", " left", "\r\033[K\ritsolv: sweep 1  change 1.0e+00  tolerance 1.0e-04\033[K"})
    EXPECT_NE(run.err.find(part), std::string::npos) << shown(part) << " in " << shown(run.err);
  EXPECT_TRUE(run.out == plain_output()) << "standard output differs from a run without a terminal";
  const RunResult monitored = first_shown([] {
    return run_held(kItsolv, {"--monitor", problem()}, dir_->path(), true, problem(), IN_OPEN);
  });
  EXPECT_EQ(monitored.status, 0);
  EXPECT_TRUE(monitored.out == run.out);
  EXPECT_EQ(monitored.err.find("itsolv: sweep"), std::string::npos) << shown(monitored.err);
  EXPECT_NE(monitored.err.find("\r\033[K1 1\n2 "), std::string::npos) << shown(monitored.err);
}

TEST_F(ProgressOnTerminal, ItsolvReadingAPipeShowsBytesAndRate) {
  const std::string fifo = dir_->path() + "/fifo";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const std::string text = testing_support::read_file(problem());
  ::signal(SIGPIPE, SIG_IGN);
  std::thread feeder([&] { testing_support::feed_held(fifo, text, size_t{3} << 20, kHold); });
  const RunResult run = run_held(kItsolv, {fifo}, dir_->path(), true);
  feeder.join();
  ::unlink(fifo.c_str());
  EXPECT_EQ(run.status, 0);
  EXPECT_TRUE(shown_then_erased(run.err, "itsolv: loading"));
  EXPECT_NE(run.err.find(" MB  "), std::string::npos);
  EXPECT_EQ(run.err.find('%'), std::string::npos);
  EXPECT_TRUE(run.out == plain_output()) << "standard output differs from a run without a terminal";
}

// mkprob writing 6000.txt into a FIFO that the test reads: the first 3 MB,
// then nothing for kHold while mkprob waits to write, then the rest, which
// `got` receives.
RunResult mkprob_into_held_fifo(const TempDir& here, bool terminal, std::string& got) {
  const std::string fifo = here.path() + "/6000.txt";
  const int fd = ::mkfifo(fifo.c_str(), 0600) == 0 ? ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC) : -1;
  if (fd < 0) throw std::runtime_error("cannot make a FIFO");
  std::thread reader([&] { got = testing_support::read_held(fd, size_t{3} << 20, kHold); });
  const RunResult run = run_held(kMkprob, {"6000", "0.0001"}, here.path(), terminal);
  reader.join();
  ::close(fd);
  return run;
}

TEST_F(ProgressOnTerminal, MkprobShowsItsWritingThenErasesIt) {
  TempDir here;
  std::string written;
  const RunResult run = mkprob_into_held_fifo(here, true, written);
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, "");
  EXPECT_TRUE(shown_then_erased(run.err, "mkprob: writing"));
  EXPECT_NE(run.err.find(" left"), std::string::npos);
  EXPECT_TRUE(written == testing_support::read_file(problem())) << "it differs from a file written without a terminal";
}

TEST_F(ProgressOnTerminal, NothingOnStandardErrorWhenItIsNotATerminal) {
  const RunResult load = run_held(kItsolv, {problem()}, dir_->path(), false, problem(), IN_OPEN);
  EXPECT_EQ(load.status, 0);
  EXPECT_EQ(load.err, "");
  TempDir here;
  std::string written;
  const RunResult write = mkprob_into_held_fifo(here, false, written);
  EXPECT_EQ(write.status, 0);
  EXPECT_EQ(write.err, "");
  EXPECT_EQ(written.size(), testing_support::read_file(problem()).size());
}

}  // namespace
}  // namespace cli

// itsolv reading problems that are not plain files at rest: standard input,
// FIFOs fed by another process (no size is known there, so a count is
// believed only as far as values arrive), and files that another process
// truncates or replaces while they are read. Every run ends with the right
// report or one "Cannot read file" line, never a signal, a hang or a large
// allocation.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdio.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <thread>
#include <vector>

#include "cli/cli_support.hpp"
#include "support/problem_values.hpp"

namespace cli {
namespace {

struct Ended {
  RunResult run;
  long max_rss_kib = 0;  // the program's peak resident memory
};

// Runs itsolv on `path` with standard input from `stdin_fd` (/dev/null when
// negative) and measures its peak memory. A run that goes on for minutes is
// killed, so that a hang fails the test instead of stalling it.
Ended run_measured(const std::string& path, int stdin_fd = -1) {
  int out[2], err[2];
  if (pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0) throw std::runtime_error("pipe2 failed");
  const int null_fd = open("/dev/null", O_RDONLY | O_CLOEXEC);
  const int in = stdin_fd >= 0 ? stdin_fd : null_fd;
  std::fflush(nullptr);
  const pid_t pid = fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    if (dup2(in, STDIN_FILENO) < 0 || dup2(out[1], STDOUT_FILENO) < 0 || dup2(err[1], STDERR_FILENO) < 0) _exit(127);
    execl(kItsolv.c_str(), kItsolv.c_str(), path.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  close(null_fd);
  close(out[1]);
  close(err[1]);
  Ended ended;
  pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
  int open_fds = 2;
  for (int idle_ms = 0; open_fds > 0 && idle_ms < 300000;) {
    const int ready = poll(fds, 2, 100);
    if (ready == 0) idle_ms += 100;
    if (ready <= 0) continue;
    for (pollfd& f : fds) {
      if (f.fd < 0 || f.revents == 0) continue;
      char buffer[1 << 16];
      const ssize_t got = read(f.fd, buffer, sizeof buffer);
      if (got > 0) {
        (f.fd == out[0] ? ended.run.out : ended.run.err).append(buffer, static_cast<size_t>(got));
      } else {
        close(f.fd);
        f.fd = -1;
        --open_fds;
      }
    }
  }
  if (open_fds > 0) {
    kill(pid, SIGKILL);
    ended.run.timed_out = true;
  }
  for (const pollfd& f : fds)
    if (f.fd >= 0) close(f.fd);
  int status = 0;
  rusage usage{};
  wait4(pid, &status, 0, &usage);
  ended.max_rss_kib = usage.ru_maxrss;
  if (!ended.run.timed_out && WIFEXITED(status)) {
    ended.run.exited = true;
    ended.run.status = WEXITSTATUS(status);
  } else if (!ended.run.timed_out && WIFSIGNALED(status)) {
    ended.run.signal = WTERMSIG(status);
  }
  return ended;
}

// A child process that opens the FIFO at `path` for writing, writes `text`
// in pieces of `piece` bytes with a pause after each, and exits.
class FifoWriter {
 public:
  FifoWriter(const std::string& path, const std::string& text, size_t piece) {
    std::fflush(nullptr);
    pid_ = fork();
    if (pid_ < 0) throw std::runtime_error("fork failed");
    if (pid_ == 0) {
      signal(SIGPIPE, SIG_DFL);
      const int fd = open(path.c_str(), O_WRONLY);
      if (fd < 0) _exit(1);
      for (size_t done = 0; done < text.size();) {
        const size_t n = text.size() - done < piece ? text.size() - done : piece;
        const ssize_t put = write(fd, text.data() + done, n);
        if (put <= 0) _exit(1);
        done += static_cast<size_t>(put);
        usleep(100);
      }
      _exit(0);
    }
  }
  // Ends the writer if the reader left it waiting, and reaps it.
  ~FifoWriter() {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
  FifoWriter(const FifoWriter&) = delete;
  FifoWriter& operator=(const FifoWriter&) = delete;

 private:
  pid_t pid_;
};

std::string problem_text(int32_t n, uint32_t seed) {
  return testing_support::problem_text(testing_support::random_values(n, testing_support::Kind::small_integers, seed));
}

class StandardInput : public CliTest {};

TEST_F(StandardInput, RedirectedFromAFileSolvesLikeTheFile) {
  const std::string path = write("p.txt", problem_text(30, 1));
  const RunResult want = solve(path);
  ASSERT_TRUE(printed(want, want.out, 0));
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_GE(fd, 0);
  const Ended got = run_measured("/dev/stdin", fd);
  close(fd);
  EXPECT_TRUE(printed(got.run, want.out, 0));
}

TEST_F(StandardInput, FromAPipeSolvesLikeTheFile) {
  const std::string text = problem_text(150, 2);
  const RunResult want = solve(write("p.txt", text));
  ASSERT_TRUE(printed(want, want.out, 0));
  RunOptions options;
  options.feed_stdin = true;
  options.stdin_text = text;
  EXPECT_TRUE(printed(itsolv({"/dev/stdin"}, options), want.out, 0));
}

TEST_F(StandardInput, PipeThatEndsEarlyIsRefusedWithOneLine) {
  const std::string text = problem_text(40, 3);
  RunOptions options;
  options.feed_stdin = true;
  for (const std::string& part : {text.substr(0, 1), text.substr(0, text.size() / 2)}) {
    options.stdin_text = part;
    EXPECT_TRUE(read_refusal(itsolv({"/dev/stdin"}, options), "/dev/stdin")) << part.size() << " bytes";
  }
  options.stdin_text.clear();  // nothing at all: the empty problem
  EXPECT_TRUE(printed(itsolv({"/dev/stdin"}, options), "The matrix will not converge...\n", 1));
}

class FifoInput : public CliTest {
 protected:
  std::string make_fifo() const {
    const std::string path = dir() + "/fifo";
    if (mkfifo(path.c_str(), 0600) != 0) throw std::runtime_error("mkfifo failed");
    return path;
  }
};

TEST_F(FifoInput, WrittenSlowlyByAnotherProcessSolvesLikeTheFile) {
  const std::string text = problem_text(70, 4);
  const RunResult want = solve(write("p.txt", text));
  ASSERT_TRUE(printed(want, want.out, 0));
  const std::string fifo = make_fifo();
  FifoWriter writer(fifo, text, 61);
  EXPECT_TRUE(printed(run_measured(fifo).run, want.out, 0));
}

TEST_F(FifoInput, WriterThatStopsHalfwayIsRefusedWithOneLine) {
  const std::string text = problem_text(70, 5);
  const std::string fifo = make_fifo();
  FifoWriter writer(fifo, text.substr(0, text.size() / 2), 509);
  EXPECT_TRUE(read_refusal(run_measured(fifo).run, fifo, "the file ends"));
}

// 50,000 variables would take gigabytes; the few values sent take nothing,
// and that is all the run may hold before it refuses the file.
TEST_F(FifoInput, HugeCountWithFewValuesIsRefusedInLittleMemory) {
  const std::string fifo = make_fifo();
  FifoWriter writer(fifo, "50000 0.001\n1 2 3\n", 4);
  const Ended ended = run_measured(fifo);
  EXPECT_TRUE(printed(ended.run, "Cannot read file " + fifo + ": the file ends at line 2 before the starting value x[3]\n",
                      1));
  EXPECT_LT(ended.max_rss_kib, 100 * 1024);
}

TEST_F(FifoInput, HugeCountWithAFewRowsIsRefusedInLittleMemory) {
  // The starting values and three rows: a few megabytes of the matrix.
  std::string text = "50000 0.001\n";
  for (int k = 0; k < 50000 + 3 * 50001; ++k) text += k % 50 == 49 ? "1\n" : "1 ";
  const std::string fifo = make_fifo();
  FifoWriter writer(fifo, text, 1 << 16);
  const Ended ended = run_measured(fifo);
  EXPECT_TRUE(read_refusal(ended.run, fifo, "before the coefficient a[3][0]"));
  EXPECT_LT(ended.max_rss_kib, 100 * 1024);
}

// Another process truncates or replaces the file at some point of the
// reading (the points vary; which one is hit does not matter).
class FileChangesWhileRead : public CliTest {
 protected:
  static constexpr int kDelaysUs[] = {0, 100, 500, 2000, 5000, 20000};

  // Starts itsolv on `path`, runs `change` after `delay_us`, and returns
  // how the run ended.
  template <typename Change>
  RunResult run_changing(const std::string& path, int delay_us, const Change& change) {
    RunResult result;
    std::thread runner([&] { result = solve(path); });
    usleep(static_cast<useconds_t>(delay_us));
    change();
    runner.join();
    return result;
  }
};

TEST_F(FileChangesWhileRead, TruncatedEndsWithTheReportOrOneLine) {
  const std::string text = problem_text(1000, 6);
  const RunResult want = solve(write("p.txt", text));
  ASSERT_TRUE(printed(want, want.out, 0));
  const size_t last_token = text.find_last_of(" \n", text.size() - 2) + 1;
  for (int delay : kDelaysUs)
    for (size_t keep : {size_t{0}, text.size() / 3, last_token, last_token + 1}) {
      const std::string path = write("p.txt", text);
      const RunResult got = run_changing(path, delay, [&] { ASSERT_EQ(truncate(path.c_str(), static_cast<off_t>(keep)), 0); });
      // Cut to nothing before it is read, the file is the empty problem.
      EXPECT_TRUE(printed(got, want.out, 0) || read_refusal(got, path) ||
                  (keep == 0 && printed(got, "The matrix will not converge...\n", 1)))
          << "cut to " << keep << " after " << delay << " us: " << got.how() << "\n" << shown(got.out);
    }
}

TEST_F(FileChangesWhileRead, ReplacedEndsWithTheReportOfTheOldOrTheNewFile) {
  const std::string text = problem_text(1000, 7), other = problem_text(20, 8);
  const RunResult want = solve(write("p.txt", text));
  const RunResult want_other = solve(write("other.txt", other));
  ASSERT_TRUE(printed(want, want.out, 0));
  ASSERT_TRUE(printed(want_other, want_other.out, 0));
  for (int delay : kDelaysUs) {
    const std::string path = write("p.txt", text);
    const std::string next = write("next.txt", other);
    const RunResult got =
        run_changing(path, delay, [&] { ASSERT_EQ(std::rename(next.c_str(), path.c_str()), 0); });
    EXPECT_TRUE(printed(got, want.out, 0) || printed(got, want_other.out, 0))
        << "after " << delay << " us: " << got.how() << "\n" << shown(got.out);
  }
}

}  // namespace
}  // namespace cli

// Running a built program for the end-to-end tests: fork/exec with standard
// input from /dev/null (or from given text through a pipe), standard output
// and standard error captured through pipes (or standard output sent to a
// given file, such as /dev/full, or to a pipe whose reading end is already
// closed), a time limit, and the way the program ended.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace cli {

struct RunOptions {
  // Standard output goes to this file (opened for writing) instead of the
  // capturing pipe, when not empty.
  std::string stdout_path;
  // Standard output is a pipe whose reading end is closed before the start.
  bool stdout_closed_pipe = false;
  // Standard output is not open at all.
  bool stdout_closed = false;
  // Standard input: /dev/null, or this text through a pipe when set.
  bool feed_stdin = false;
  std::string stdin_text;
  // Restricts the program to this many CPUs when above zero.
  int cpus = 0;
  // Limits the program's address space (RLIMIT_AS) and stack size
  // (RLIMIT_STACK, also the default size of a thread's stack) when above 0.
  size_t memory_limit_bytes = 0;
  size_t stack_limit_bytes = 0;
  // Limits the size of files the program writes (RLIMIT_FSIZE) when above 0.
  size_t file_size_limit_bytes = 0;
  // Replaces the environment by exactly these strings when set.
  bool set_environment = false;
  std::vector<std::string> environment;
  // Time limit; the program is killed with SIGKILL after it.
  double timeout_seconds = 30.0;
};

struct RunResult {
  std::string out;         // standard output (empty when redirected)
  std::string err;         // standard error
  bool exited = false;     // ended by exit(); status is then valid
  int status = -1;         // exit status
  int signal = 0;          // the signal that ended it, when not exited
  bool timed_out = false;  // killed at the time limit
  double seconds = 0.0;    // wall time

  // "exit 1", "signal 11", "timed out": for failure messages.
  std::string how() const {
    if (timed_out) return "timed out";
    if (exited) return "exit " + std::to_string(status);
    return "signal " + std::to_string(signal);
  }
};

namespace detail {

[[noreturn]] inline void child_fail(const char* what) {
  const int e = errno;
  char text[256];
  const int n = std::snprintf(text, sizeof text, "run_program child: %s: %s\n", what, std::strerror(e));
  if (n > 0) (void)!::write(STDERR_FILENO, text, static_cast<size_t>(n));
  ::_exit(127);
}

inline void set_nonblocking(int fd) { ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK); }

}  // namespace detail

// Runs `program` with `args` (argv[1] ...) and waits for it to end or for the
// time limit. Throws std::runtime_error only when the test process itself
// cannot make pipes or fork. Safe to call from several threads at once.
inline RunResult run_program(const std::string& program, const std::vector<std::string>& args,
                             const RunOptions& options = {}) {
  using Clock = std::chrono::steady_clock;
  const auto start = Clock::now();
  const auto deadline =
      start + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(options.timeout_seconds));

  int out_pipe[2] = {-1, -1}, err_pipe[2] = {-1, -1}, in_pipe[2] = {-1, -1};
  const bool capture_out = options.stdout_path.empty() && !options.stdout_closed;
  if (capture_out && ::pipe2(out_pipe, O_CLOEXEC) != 0) throw std::runtime_error("pipe2 failed");
  if (::pipe2(err_pipe, O_CLOEXEC) != 0) throw std::runtime_error("pipe2 failed");
  if (options.feed_stdin && ::pipe2(in_pipe, O_CLOEXEC) != 0) throw std::runtime_error("pipe2 failed");
  if (options.stdout_closed_pipe) {
    // No reader will ever exist: every write gets EPIPE (or SIGPIPE).
    ::close(out_pipe[0]);
    out_pipe[0] = -1;
  }

  // The test process must not die by SIGPIPE when a child closes its
  // standard input early; the child gets the default disposition back.
  static const bool sigpipe_ignored = [] { return ::signal(SIGPIPE, SIG_IGN) != SIG_ERR; }();
  (void)sigpipe_ignored;

  std::vector<std::string> argv_text;
  argv_text.push_back(program);
  argv_text.insert(argv_text.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& a : argv_text) argv.push_back(a.data());
  argv.push_back(nullptr);
  std::vector<std::string> env_text = options.environment;
  std::vector<char*> envp;
  for (std::string& e : env_text) envp.push_back(e.data());
  envp.push_back(nullptr);

  std::fflush(nullptr);
  const pid_t pid = ::fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    // Child: only async-signal-safe calls from here on.
    ::signal(SIGPIPE, SIG_DFL);
    if (options.feed_stdin) {
      if (::dup2(in_pipe[0], STDIN_FILENO) < 0) detail::child_fail("dup2 stdin");
    } else {
      const int null_fd = ::open("/dev/null", O_RDONLY);
      if (null_fd < 0 || ::dup2(null_fd, STDIN_FILENO) < 0) detail::child_fail("/dev/null");
      if (null_fd != STDIN_FILENO) ::close(null_fd);
    }
    if (options.stdout_closed) {
      ::close(STDOUT_FILENO);
    } else if (!options.stdout_path.empty()) {
      const int fd = ::open(options.stdout_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      if (fd < 0 || ::dup2(fd, STDOUT_FILENO) < 0) detail::child_fail("stdout file");
      if (fd != STDOUT_FILENO) ::close(fd);
    } else if (::dup2(out_pipe[1], STDOUT_FILENO) < 0) {
      detail::child_fail("dup2 stdout");
    }
    if (::dup2(err_pipe[1], STDERR_FILENO) < 0) detail::child_fail("dup2 stderr");
    if (options.cpus > 0) {
      cpu_set_t set;
      CPU_ZERO(&set);
      for (int c = 0; c < options.cpus; ++c) CPU_SET(c, &set);
      ::sched_setaffinity(0, sizeof set, &set);
    }
    if (options.stack_limit_bytes > 0) {
      const rlimit limit{options.stack_limit_bytes, options.stack_limit_bytes};
      ::setrlimit(RLIMIT_STACK, &limit);
    }
    if (options.memory_limit_bytes > 0) {
      const rlimit limit{options.memory_limit_bytes, options.memory_limit_bytes};
      ::setrlimit(RLIMIT_AS, &limit);
    }
    if (options.file_size_limit_bytes > 0) {
      const rlimit limit{options.file_size_limit_bytes, options.file_size_limit_bytes};
      ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    if (options.set_environment)
      ::execve(program.c_str(), argv.data(), envp.data());
    else
      ::execv(program.c_str(), argv.data());
    detail::child_fail("execv");
  }

  // Parent.
  if (out_pipe[1] >= 0) ::close(out_pipe[1]);
  ::close(err_pipe[1]);
  if (in_pipe[0] >= 0) ::close(in_pipe[0]);
  int out_fd = capture_out ? out_pipe[0] : -1;
  int err_fd = err_pipe[0];
  int in_fd = options.feed_stdin ? in_pipe[1] : -1;
  size_t in_done = 0;
  if (in_fd >= 0) detail::set_nonblocking(in_fd);
  if (in_fd >= 0 && options.stdin_text.empty()) {
    ::close(in_fd);
    in_fd = -1;
  }

  RunResult result;
  int wait_status = 0;
  bool reaped = false;
  char buffer[1 << 16];

  for (;;) {
    if (out_fd < 0 && err_fd < 0 && in_fd < 0) {
      const pid_t got = ::waitpid(pid, &wait_status, WNOHANG);
      if (got == pid) {
        reaped = true;
        break;
      }
    }
    const auto now = Clock::now();
    if (now >= deadline) {
      ::kill(pid, SIGKILL);
      result.timed_out = true;
      break;
    }
    const int wait_ms = static_cast<int>(
        std::min<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now).count() + 1, 50));
    if (out_fd < 0 && err_fd < 0 && in_fd < 0) {
      std::this_thread::sleep_for(std::chrono::milliseconds(std::min(wait_ms, 1)));
      continue;
    }
    pollfd fds[3];
    int count = 0;
    if (out_fd >= 0) fds[count++] = {out_fd, POLLIN, 0};
    if (err_fd >= 0) fds[count++] = {err_fd, POLLIN, 0};
    if (in_fd >= 0) fds[count++] = {in_fd, POLLOUT, 0};
    const int ready = ::poll(fds, static_cast<nfds_t>(count), wait_ms);
    if (ready < 0 && errno != EINTR) break;
    if (ready <= 0) continue;
    for (int k = 0; k < count; ++k) {
      if (fds[k].revents == 0) continue;
      if (fds[k].fd == in_fd) {
        const ssize_t put = ::write(in_fd, options.stdin_text.data() + in_done, options.stdin_text.size() - in_done);
        if (put > 0) in_done += static_cast<size_t>(put);
        if ((put < 0 && errno != EAGAIN && errno != EINTR) || in_done == options.stdin_text.size()) {
          ::close(in_fd);
          in_fd = -1;
        }
        continue;
      }
      const ssize_t got = ::read(fds[k].fd, buffer, sizeof buffer);
      if (got > 0) {
        (fds[k].fd == out_fd ? result.out : result.err).append(buffer, static_cast<size_t>(got));
      } else if (got == 0 || (errno != EINTR && errno != EAGAIN)) {
        ::close(fds[k].fd);
        (fds[k].fd == out_fd ? out_fd : err_fd) = -1;
      }
    }
  }
  if (!reaped) ::waitpid(pid, &wait_status, 0);
  for (int fd : {out_fd, err_fd, in_fd})
    if (fd >= 0) ::close(fd);

  result.seconds = std::chrono::duration<double>(Clock::now() - start).count();
  if (!result.timed_out) {
    if (WIFEXITED(wait_status)) {
      result.exited = true;
      result.status = WEXITSTATUS(wait_status);
    } else if (WIFSIGNALED(wait_status)) {
      result.signal = WTERMSIG(wait_status);
    }
  }
  return result;
}

// Runs the jobs, `parallel` at a time, and returns their results in order.
inline std::vector<RunResult> run_all(const std::vector<std::function<RunResult()>>& jobs, int parallel = 4) {
  std::vector<RunResult> results(jobs.size());
  std::atomic<size_t> next{0};
  auto work = [&] {
    for (size_t k; (k = next.fetch_add(1)) < jobs.size();) {
      try {
        results[k] = jobs[k]();
      } catch (const std::exception& e) {
        results[k].err = std::string("run_program failed: ") + e.what();
      }
    }
  };
  std::vector<std::thread> threads;
  for (int t = 1; t < parallel; ++t) threads.emplace_back(work);
  work();
  for (std::thread& t : threads) t.join();
  return results;
}

// A fresh directory under $TMPDIR (or /tmp), removed with everything in it.
class TempDir {
 public:
  TempDir() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/itsolv-cli-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
  }
  ~TempDir() {
    std::error_code ignored;
    // Give back any permission a test took away, so that all can go.
    for (auto it = std::filesystem::recursive_directory_iterator(path_, ignored);
         it != std::filesystem::recursive_directory_iterator(); it.increment(ignored))
      ::chmod(it->path().c_str(), 0700);
    std::filesystem::remove_all(path_, ignored);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }

  // Writes `bytes` exactly to the file `name` in the directory; its path.
  std::string write(const std::string& name, const std::string& bytes) const {
    const std::string file = path_ + "/" + name;
    std::ofstream stream(file, std::ios::binary | std::ios::trunc);
    stream.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    stream.close();
    if (!stream) throw std::runtime_error("cannot write " + file);
    return file;
  }

 private:
  std::string path_;
};

}  // namespace cli

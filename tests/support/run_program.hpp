// The one place where tests start processes: a built program (or a function
// of the test, in a child of its own) with its arguments, standard input from
// /dev/null, a file or given text, standard output captured or sent to a file
// or a dead pipe, standard error captured through a pipe or a terminal,
// limits, a working directory, a time limit, and the way it ended.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/inotify.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "support/run_options.hpp"

namespace testing_support {

namespace detail {

[[noreturn]] inline void child_fail(const char* what) {
  const int e = errno;
  char text[256];
  const int n = std::snprintf(text, sizeof text, "run_program child: %s: %s\n", what, std::strerror(e));
  if (n > 0) (void)!::write(STDERR_FILENO, text, static_cast<size_t>(n));
  ::_exit(127);
}

inline void check(bool ok, const char* what) {
  if (!ok) throw std::runtime_error(std::string(what) + " failed");
}

// A pseudo-terminal in raw mode: the bytes as written, no line discipline.
inline void open_terminal(int ends[2]) {
  ends[0] = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  check(ends[0] >= 0 && ::grantpt(ends[0]) == 0 && ::unlockpt(ends[0]) == 0, "posix_openpt");
  ends[1] = ::open(::ptsname(ends[0]), O_RDWR | O_NOCTTY | O_CLOEXEC);
  termios raw{};
  check(ends[1] >= 0 && ::tcgetattr(ends[1], &raw) == 0, "pty");
  ::cfmakeraw(&raw);
  ::tcsetattr(ends[1], TCSANOW, &raw);
}

// Sets up the child's descriptors, limits and directory, then runs `body`
// (which returns only when it does not exec) and ends the child.
[[noreturn]] inline void in_child(const RunOptions& o, int in_read, int out_write, int err_write,
                                  const std::function<int()>& body) {
  ::signal(SIGPIPE, SIG_DFL);
  if (o.own_group) ::setpgid(0, 0);
  if (!o.directory.empty() && ::chdir(o.directory.c_str()) != 0) child_fail("chdir");
  int in = in_read;
  if (!o.stdin_text) in = ::open(o.stdin_path.empty() ? "/dev/null" : o.stdin_path.c_str(), O_RDONLY);
  if (in < 0 || ::dup2(in, STDIN_FILENO) < 0) child_fail("stdin");
  if (o.stdout_closed) {
    ::close(STDOUT_FILENO);
  } else if (!o.stdout_path.empty()) {
    const int fd = ::open(o.stdout_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0 || ::dup2(fd, STDOUT_FILENO) < 0) child_fail("stdout file");
  } else if (::dup2(out_write, STDOUT_FILENO) < 0) {
    child_fail("dup2 stdout");
  }
  if (::dup2(err_write, STDERR_FILENO) < 0) child_fail("dup2 stderr");
  if (o.cpus > 0) {
    cpu_set_t set;
    CPU_ZERO(&set);
    for (int c = 0; c < o.cpus; ++c) CPU_SET(c, &set);
    ::sched_setaffinity(0, sizeof set, &set);
  }
  for (const auto& [resource, bytes] : {std::pair{RLIMIT_STACK, o.stack_limit_bytes},
                                        {RLIMIT_AS, o.memory_limit_bytes},
                                        {RLIMIT_FSIZE, o.file_size_limit_bytes}}) {
    const rlimit limit{bytes, bytes};
    if (bytes > 0) ::setrlimit(resource, &limit);
  }
  if (o.in_child) o.in_child();
  const int status = body();
  std::fflush(nullptr);
  ::_exit(status);
}

// Appends what can be read from `fd` now to `into`; false once the writer
// is gone (a terminal without a writer says EIO).
inline bool take(int fd, std::string& into) {
  char buffer[1 << 16];
  const ssize_t got = ::read(fd, buffer, sizeof buffer);
  if (got > 0) into.append(buffer, static_cast<size_t>(got));
  return got > 0 || (got < 0 && (errno == EINTR || errno == EAGAIN));
}

// Reads what is left on the capturing pipes after the program ended, for a
// second at most: a process it started may still hold them open.
inline void drain(int out_fd, int err_fd, RunResult& result) {
  using Clock = std::chrono::steady_clock;
  const auto until = Clock::now() + std::chrono::seconds(1);
  for (auto [fd, into] : {std::pair{out_fd, &result.out}, {err_fd, &result.err}}) {
    for (pollfd ready{fd, POLLIN, 0}; fd >= 0;) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now()).count();
      if (left <= 0 || ::poll(&ready, 1, static_cast<int>(left)) <= 0 || !take(fd, *into)) break;
    }
  }
}

}  // namespace detail

// Runs `body` in a forked child set up as `options` say; the child ends with
// the body's result as its exit status (the body may also exec). Throws
// std::runtime_error only when the test process itself cannot make pipes or
// fork. Safe to call from several threads at once.
inline RunResult run_function(const std::function<int()>& body, const RunOptions& options = {}) {
  using Clock = std::chrono::steady_clock;
  const auto start = Clock::now();
  const auto deadline =
      start + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(options.timeout_seconds));

  int out_pipe[2] = {-1, -1}, err_pipe[2] = {-1, -1}, in_pipe[2] = {-1, -1};
  const bool capture_out = options.stdout_path.empty() && !options.stdout_closed;
  if (capture_out) detail::check(::pipe2(out_pipe, O_CLOEXEC) == 0, "pipe2");
  if (options.stderr_terminal)
    detail::open_terminal(err_pipe);
  else
    detail::check(::pipe2(err_pipe, O_CLOEXEC) == 0, "pipe2");
  if (options.stdin_text) detail::check(::pipe2(in_pipe, O_CLOEXEC) == 0, "pipe2");
  if (options.stdout_closed_pipe) {
    // No reader will ever exist: every write gets EPIPE (or SIGPIPE).
    ::close(out_pipe[0]);
    out_pipe[0] = -1;
  }
  int watch = -1;
  if (!options.hold_path.empty()) {
    watch = ::inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
    detail::check(watch >= 0 && ::inotify_add_watch(watch, options.hold_path.c_str(), options.hold_events) >= 0,
                  "inotify");
  }

  // The test process must not die by SIGPIPE when a child closes its
  // standard input early; the child gets the default disposition back.
  static const bool sigpipe_ignored = [] { return ::signal(SIGPIPE, SIG_IGN) != SIG_ERR; }();
  (void)sigpipe_ignored;

  std::fflush(nullptr);
  const pid_t pid = ::fork();
  detail::check(pid >= 0, "fork");
  if (pid == 0) detail::in_child(options, in_pipe[0], out_pipe[1], err_pipe[1], body);

  // Parent. A time limit ends the program, or all of its process group.
  if (options.own_group) ::setpgid(pid, pid);
  const pid_t ended = options.own_group ? -pid : pid;
  for (int fd : {out_pipe[1], err_pipe[1], in_pipe[0]})
    if (fd >= 0) ::close(fd);
  int out_fd = capture_out ? out_pipe[0] : -1;
  int err_fd = err_pipe[0];
  int in_fd = options.stdin_text ? in_pipe[1] : -1;
  size_t in_done = 0;
  if (in_fd >= 0) ::fcntl(in_fd, F_SETFL, ::fcntl(in_fd, F_GETFL) | O_NONBLOCK);
  if (in_fd >= 0 && options.stdin_text->empty()) {
    ::close(in_fd);
    in_fd = -1;
  }

  RunResult result;
  int wait_status = 0;
  bool reaped = false;
  rusage usage{};
  for (;;) {
    if (out_fd < 0 && err_fd < 0 && in_fd < 0 && ::wait4(pid, &wait_status, WNOHANG, &usage) == pid) {
      reaped = true;
      break;
    }
    const auto now = Clock::now();
    if (now >= deadline) {
      if (options.timeout_signal == SIGKILL) ::kill(ended, SIGKILL);
      result.timed_out = true;
      break;
    }
    const int wait_ms = static_cast<int>(
        std::min<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now).count() + 1, 50));
    pollfd fds[4];
    int count = 0;
    if (out_fd >= 0) fds[count++] = {out_fd, POLLIN, 0};
    if (err_fd >= 0) fds[count++] = {err_fd, POLLIN, 0};
    if (in_fd >= 0) fds[count++] = {in_fd, POLLOUT, 0};
    if (watch >= 0) fds[count++] = {watch, POLLIN, 0};
    if (count == 0) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
      continue;
    }
    const int ready = ::poll(fds, static_cast<nfds_t>(count), wait_ms);
    if (ready < 0 && errno != EINTR) break;
    if (ready <= 0) continue;
    for (int k = 0; k < count; ++k) {
      if (fds[k].revents == 0) continue;
      if (fds[k].fd == watch) {  // the first event: hold the program, once
        ::kill(pid, SIGSTOP);
        std::this_thread::sleep_for(std::chrono::milliseconds(1300));
        ::kill(pid, SIGCONT);
        ::close(watch);
        watch = -1;
      } else if (fds[k].fd == in_fd) {
        const ssize_t put = ::write(in_fd, options.stdin_text->data() + in_done, options.stdin_text->size() - in_done);
        if (put > 0) in_done += static_cast<size_t>(put);
        if ((put < 0 && errno != EAGAIN && errno != EINTR) || in_done == options.stdin_text->size()) {
          ::close(in_fd);
          in_fd = -1;
        }
      } else if (!detail::take(fds[k].fd, fds[k].fd == out_fd ? result.out : result.err)) {
        ::close(fds[k].fd);
        (fds[k].fd == out_fd ? out_fd : err_fd) = -1;
      }
    }
  }
  for (int tries = 0; !reaped && result.timed_out && options.timeout_signal != SIGKILL && tries < 200; ++tries) {
    if (tries == 0) ::kill(ended, options.timeout_signal);
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    reaped = ::wait4(pid, &wait_status, WNOHANG, &usage) == pid;
  }
  if (!reaped) {
    if (result.timed_out) ::kill(ended, SIGKILL);
    ::wait4(pid, &wait_status, 0, &usage);
  }
  // What a program that timed out printed as it ended.
  if (result.timed_out) detail::drain(out_fd, err_fd, result);
  for (int fd : {out_fd, err_fd, in_fd, watch})
    if (fd >= 0) ::close(fd);

  result.seconds = std::chrono::duration<double>(Clock::now() - start).count();
  result.max_rss_kib = usage.ru_maxrss;
  if (!result.timed_out && WIFEXITED(wait_status)) {
    result.exited = true;
    result.status = WEXITSTATUS(wait_status);
  } else if (!result.timed_out && WIFSIGNALED(wait_status)) {
    result.signal = WTERMSIG(wait_status);
  }
  // A child that could not start says why in the test's log, whatever the
  // test checks (a program that the child's user cannot reach, say).
  if (result.status == 127 && result.err.starts_with("run_program child: ")) std::fputs(result.err.c_str(), stderr);
  return result;
}

// Runs `program` with `args` (argv[1] ...) and waits for it to end or for the
// time limit.
inline RunResult run_program(const std::string& program, const std::vector<std::string>& args,
                             const RunOptions& options = {}) {
  std::vector<std::string> argv_text{program};
  argv_text.insert(argv_text.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& a : argv_text) argv.push_back(a.data());
  argv.push_back(nullptr);
  std::vector<std::string> env_text = options.environment.value_or(std::vector<std::string>{});
  std::vector<char*> envp;
  for (std::string& e : env_text) envp.push_back(e.data());
  envp.push_back(nullptr);
  return run_function(
      [&]() -> int {
        ::execve(program.c_str(), argv.data(), options.environment ? envp.data() : environ);
        detail::child_fail("execve");
      },
      options);
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

}  // namespace testing_support

#pragma once

// Running code and programs in child processes for the generator's tests:
// the C library's rand() state is per process, and the program under test
// runs in a directory of its own.

#include <fcntl.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <set>
#include <string>
#include <vector>

namespace mkprob_test {

struct Outcome {
  int status;  // the exit status, or 128 + the number of the ending signal
  std::string output;
};

// Runs `body` in a forked child with its standard output on a pipe; the
// child ends with the body's result as its exit status.
inline Outcome run_child(const std::function<int()>& body) {
  int pipe_ends[2];
  if (::pipe(pipe_ends) != 0) return {-1, "pipe failed"};
  std::fflush(nullptr);
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::close(pipe_ends[0]);
    ::dup2(pipe_ends[1], STDOUT_FILENO);
    ::close(pipe_ends[1]);
    const int status = body();
    std::fflush(nullptr);
    ::_exit(status);
  }
  ::close(pipe_ends[1]);
  std::string output;
  char buffer[1 << 16];
  for (ssize_t n; (n = ::read(pipe_ends[0], buffer, sizeof buffer)) != 0;) {
    if (n > 0)
      output.append(buffer, static_cast<std::size_t>(n));
    else if (errno != EINTR)
      break;
  }
  ::close(pipe_ends[0]);
  int status = 0;
  ::waitpid(pid, &status, 0);
  return {WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status),
          output};
}

// Runs a program in `directory`; `setup` runs in the child just before it.
inline Outcome run_program(const std::string& directory,
                           const std::vector<std::string>& args,
                           const std::function<void()>& setup = {}) {
  return run_child([&] {
    if (::chdir(directory.c_str()) != 0) return 126;
    if (setup) setup();
    std::vector<char*> argv;
    for (const auto& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    ::execv(argv[0], argv.data());
    return 127;
  });
}

// A fresh empty directory, removed with its content at the end.
class TempDir {
 public:
  TempDir() {
    std::string name =
        (std::filesystem::temp_directory_path() / "mkprob-test-XXXXXX")
            .string();
    path_ = ::mkdtemp(name.data()) ? name : std::string();
  }
  ~TempDir() { std::filesystem::remove_all(path_); }
  const std::string& path() const { return path_; }
  std::string operator/(const std::string& name) const {
    return path_ + "/" + name;
  }
  std::set<std::string> entries() const {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(path_))
      names.insert(entry.path().filename().string());
    return names;
  }

 private:
  std::string path_;
};

inline std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void write_file(const std::string& path, const std::string& content) {
  std::ofstream(path, std::ios::binary) << content;
}

}  // namespace mkprob_test

#include "generator/atomic_file.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <memory>

namespace mkprob {

namespace {

// The temporary file to remove if a signal ends the process; one at a time.
std::atomic<const char*> pending_temp{nullptr};

extern "C" void remove_pending_temp(int signal_number) {
  if (const char* path = pending_temp.load()) ::unlink(path);
  std::signal(signal_number, SIG_DFL);
  std::raise(signal_number);
}

void watch_for_termination() {
  static bool installed = false;
  if (installed) return;
  installed = true;
  for (int signal_number : {SIGINT, SIGTERM, SIGHUP}) {
    struct sigaction current {};
    if (::sigaction(signal_number, nullptr, &current) != 0) continue;
    if (current.sa_handler == SIG_IGN) continue;  // e.g. under nohup
    struct sigaction action {};
    action.sa_handler = remove_pending_temp;
    sigemptyset(&action.sa_mask);
    ::sigaction(signal_number, &action, nullptr);
  }
}

// The path's directory part with its final slash ("" for the current one).
std::string directory_prefix(const std::string& path) {
  const auto slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// The path itself, or what it points to when it is a symbolic link to an
// existing file.
std::string resolve_link(const std::string& path) {
  struct stat status;
  if (::lstat(path.c_str(), &status) != 0 || !S_ISLNK(status.st_mode))
    return path;
  std::unique_ptr<char, decltype(&std::free)> resolved(
      ::realpath(path.c_str(), nullptr), &std::free);
  return resolved ? std::string(resolved.get()) : path;
}

std::uint64_t unique_number() {
  static std::uint64_t counter = 0;
  timespec now{};
  ::clock_gettime(CLOCK_REALTIME, &now);
  std::uint64_t x = static_cast<std::uint64_t>(now.tv_nsec) ^
                    (static_cast<std::uint64_t>(now.tv_sec) << 30) ^
                    (static_cast<std::uint64_t>(::getpid()) << 40) ^
                    (++counter * 0x9E3779B97F4A7C15u);
  x ^= x >> 31;  // spread the bits so that names differ in every position
  x *= 0xBF58476D1CE4E5B9u;
  return x ^ (x >> 29);
}

}  // namespace

AtomicFile::~AtomicFile() { discard(); }

bool AtomicFile::open(const std::string& path) {
  discard();
  target_ = resolve_link(path);

  // Refuse what opening the name for writing would refuse. A missing file
  // is fine; a missing directory or a name that is too long shows here too.
  struct stat status;
  if (::stat(target_.c_str(), &status) == 0) {
    if (S_ISDIR(status.st_mode)) {
      errno = EISDIR;
      return false;
    }
    if (::faccessat(AT_FDCWD, target_.c_str(), W_OK, AT_EACCESS) != 0)
      return false;
  } else if (errno != ENOENT) {
    return false;
  }

  watch_for_termination();
  const std::string prefix = directory_prefix(target_);
  static constexpr char kDigits[] = "0123456789abcdef";
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string name = prefix + ".mkprob-";
    for (std::uint64_t x = unique_number(), i = 0; i < 12; ++i, x >>= 4)
      name += kDigits[x & 15];
    name += ".tmp";
    fd_ = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd_ >= 0) {
      temp_ = std::move(name);
      pending_temp.store(temp_.c_str());
      return true;
    }
    if (errno != EEXIST) return false;
  }
  return false;
}

AtomicFile::Commit AtomicFile::commit() {
  if (fd_ < 0) return Commit::write_failed;
  const int closed = ::close(fd_);
  fd_ = -1;
  if (closed != 0) {  // a delayed write error
    discard();
    return Commit::write_failed;
  }
  if (::rename(temp_.c_str(), target_.c_str()) != 0) {
    discard();
    return Commit::rename_failed;
  }
  pending_temp.store(nullptr);
  temp_.clear();
  return Commit::done;
}

void AtomicFile::discard() {
  if (fd_ >= 0) {
    ::close(fd_);
    fd_ = -1;
  }
  if (!temp_.empty()) {
    ::unlink(temp_.c_str());
    pending_temp.store(nullptr);
    temp_.clear();
  }
}

}  // namespace mkprob

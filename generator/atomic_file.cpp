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
#include <string>

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

// The path with the symbolic links of its last component followed, as open
// follows them; a dangling link gives the name it points at, which open would
// create. Too many links give a path that open then refuses (ELOOP).
std::string resolve_links(std::string path) {
  for (int hops = 0; hops < 40; ++hops) {
    struct stat status;
    if (::lstat(path.c_str(), &status) != 0 || !S_ISLNK(status.st_mode)) return path;
    char target[PATH_MAX];
    const ssize_t length = ::readlink(path.c_str(), target, sizeof target);
    if (length <= 0 || static_cast<size_t>(length) >= sizeof target) return path;
    const std::string link(target, static_cast<size_t>(length));
    path = link[0] == '/' ? link : directory_prefix(path) + link;
  }
  return path;
}

uint64_t unique_number() {
  static uint64_t counter = 0;
  timespec now{};
  ::clock_gettime(CLOCK_REALTIME, &now);
  uint64_t x = static_cast<uint64_t>(now.tv_nsec) ^ (static_cast<uint64_t>(now.tv_sec) << 30) ^
               (static_cast<uint64_t>(::getpid()) << 40) ^ (++counter * 0x9E3779B97F4A7C15u);
  x ^= x >> 31;  // spread the bits so that names differ in every position
  x *= 0xBF58476D1CE4E5B9u;
  return x ^ (x >> 29);
}

// A fresh name for a temporary file beside the target.
std::string temp_name(const std::string& prefix) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string name = prefix + ".mkprob-";
  for (uint64_t x = unique_number(), i = 0; i < 12; ++i, x >>= 4) name += kDigits[x & 15];
  return name + ".tmp";
}

}  // namespace

AtomicFile::~AtomicFile() { discard(); }

bool AtomicFile::open(const std::string& path) {
  discard();
  target_ = resolve_links(path);
  struct stat old;
  if (::stat(target_.c_str(), &old) != 0) {
    if (errno != ENOENT) return false;
    return open_aside(0666, nullptr);
  }
  if (S_ISDIR(old.st_mode)) {
    errno = EISDIR;
    return false;
  }
  if (!S_ISREG(old.st_mode) || old.st_nlink > 1) {
    // A FIFO's reader, a device, or every name of a linked file sees the
    // content: written in place, as opening the name for writing does.
    fd_ = ::open(target_.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    return fd_ >= 0;
  }
  // Refuse what opening the name for writing would refuse.
  if (::faccessat(AT_FDCWD, target_.c_str(), W_OK, AT_EACCESS) != 0) return false;
  if (open_aside(0600, &old)) {
    replaces_ = true;
    return true;
  }
  // A writable file in a directory that takes no new names: written in
  // place, as opening the name for writing does.
  if (errno != EACCES && errno != EPERM) return false;
  fd_ = ::open(target_.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
  return fd_ >= 0;
}

// Creates the file beside the target, unnamed where the file system allows
// (giving it a name later needs /proc); `old` is the file it replaces.
bool AtomicFile::open_aside(int mode, const struct stat* old) {
  watch_for_termination();
  const std::string prefix = directory_prefix(target_);
  if (::access("/proc/self/fd", X_OK) == 0) {
    fd_ = ::open(prefix.empty() ? "." : prefix.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, mode);
    unnamed_ = fd_ >= 0;
  }
  for (int attempt = 0; fd_ < 0 && attempt < 100; ++attempt) {
    std::string name = temp_name(prefix);
    fd_ = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    if (fd_ >= 0) {
      temp_ = std::move(name);
      pending_temp.store(temp_.c_str());
    } else if (errno != EEXIST) {
      return false;
    }
  }
  if (fd_ < 0 || old == nullptr) return fd_ >= 0;
  // The owner first: changing it may clear the set-user-ID bits.
  if (::geteuid() == 0) (void)!::fchown(fd_, old->st_uid, old->st_gid);
  if (::fchmod(fd_, old->st_mode & 07777) == 0) return true;
  const int error = errno;
  discard();
  errno = error;
  return false;
}

AtomicFile::Commit AtomicFile::commit() {
  if (fd_ < 0) return Commit::write_failed;
  if (unnamed_) {
    // A link cannot replace a file: a temporary name first, then the rename.
    const std::string self = "/proc/self/fd/" + std::to_string(fd_);
    for (int attempt = 0; temp_.empty() && attempt < 100; ++attempt) {
      std::string name = temp_name(directory_prefix(target_));
      if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0) {
        temp_ = std::move(name);
        pending_temp.store(temp_.c_str());
      } else if (errno != EEXIST) {
        break;
      }
    }
    if (temp_.empty()) {
      discard();
      return Commit::rename_failed;
    }
  }
  const int closed = ::close(fd_);
  fd_ = -1;
  if (closed != 0) {  // a delayed write error
    discard();
    return Commit::write_failed;
  }
  if (temp_.empty() && !unnamed_) return Commit::done;  // written in place
  if (::rename(temp_.c_str(), target_.c_str()) != 0) {
    discard();
    return Commit::rename_failed;
  }
  pending_temp.store(nullptr);
  temp_.clear();
  unnamed_ = false;
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
  unnamed_ = false;
  replaces_ = false;
}

}  // namespace mkprob

// What some tests need of the machine beyond the programs: each check gives
// the reason to skip the test when it is missing, or "" when it is there.
//   SKIP_WITHOUT(testing_support::without_terminal());
#pragma once

#include <fcntl.h>
#include <stdlib.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

namespace testing_support {

inline std::string without_terminal() {
  const int fd = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return std::string("no pseudo-terminal here (posix_openpt: ") + std::strerror(errno) + ")";
  ::close(fd);
  return "";
}

inline std::string without_inotify() {
  const int fd = ::inotify_init1(IN_CLOEXEC);
  if (fd < 0) return std::string("no inotify here (inotify_init1: ") + std::strerror(errno) + ")";
  ::close(fd);
  return "";
}

// /dev/full, which takes no byte: every write fails with ENOSPC.
inline std::string without_full_device() {
  const int fd = ::open("/dev/full", O_WRONLY | O_CLOEXEC);
  if (fd < 0) return std::string("no /dev/full here (") + std::strerror(errno) + ")";
  const char byte = 0;
  const bool full = ::write(fd, &byte, 1) < 0 && errno == ENOSPC;
  ::close(fd);
  return full ? "" : "/dev/full here takes writes";
}

// Reading `path` from its start fails with the reason `expected` (the text
// of an errno value), as on Linux.
inline std::string without_read_failure(const std::string& path, const std::string& expected) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  char byte;
  const bool failed = fd >= 0 && ::read(fd, &byte, 1) < 0;
  const std::string reason = failed ? std::strerror(errno) : "none";
  if (fd >= 0) ::close(fd);
  return reason == expected ? "" : "reading " + path + " here fails with " + reason + ", not " + expected;
}

}  // namespace testing_support

#define SKIP_WITHOUT(reason) \
  if (const std::string why = (reason); !why.empty()) GTEST_SKIP() << why

#include "common/write_all.hpp"

#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>

namespace common {

bool write_all(int fd, const char* data, size_t size) {
  while (size > 0) {
    const ssize_t written = ::write(fd, data, size);
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (written == 0) {  // no progress and no reason given: treat as full
      errno = ENOSPC;
      return false;
    }
    data += written;
    size -= static_cast<size_t>(written);
  }
  return true;
}

bool write_stdout(const char* program, std::string_view text) {
  if (write_all(STDOUT_FILENO, text.data(), text.size())) return true;
  std::fprintf(stderr, "%s: cannot write to standard output: %s\n", program, std::strerror(errno));
  return false;
}

void write_stderr(std::string_view text) { (void)write_all(STDERR_FILENO, text.data(), text.size()); }

void ignore_write_signals() {
  std::signal(SIGPIPE, SIG_IGN);
  std::signal(SIGXFSZ, SIG_IGN);
}

}  // namespace common

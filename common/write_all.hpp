#pragma once

// Writes a whole buffer to a file descriptor, resuming after partial writes
// and interrupted calls.

#include <unistd.h>

#include <cerrno>
#include <cstddef>

namespace mkprob {

// True when every byte was written; false (errno set) on the first failure.
inline bool write_all(int fd, const char* data, std::size_t size) {
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
    size -= static_cast<std::size_t>(written);
  }
  return true;
}

}  // namespace mkprob

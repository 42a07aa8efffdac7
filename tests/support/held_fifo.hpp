// A FIFO between a test and a program with a pause that the test controls:
// the first bytes pass, then none for a while, then the rest. The program
// waits exactly there, however fast the machine.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <thread>

namespace testing_support {

// Writes `text` into the FIFO at `path` once a reader has opened it (within
// a minute), pausing for `hold` after the first `first` bytes. The test
// must ignore SIGPIPE, for a reader that stops early.
inline void feed_held(const std::string& path, const std::string& text, size_t first, std::chrono::milliseconds hold) {
  int fd = -1;
  for (int tries = 0; fd < 0 && tries < 6000; ++tries) {  // until the reader opens it
    fd = ::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  if (fd < 0) return;
  ::fcntl(fd, F_SETFL, 0);
  for (size_t at = 0; at < text.size();) {
    if (at == first) std::this_thread::sleep_for(hold);
    const size_t end = at < first ? std::min(first, text.size()) : text.size();
    const ssize_t put = ::write(fd, text.data() + at, end - at);
    if (put <= 0) break;
    at += static_cast<size_t>(put);
  }
  ::close(fd);
}

// Reads the FIFO end `fd` (opened for reading without blocking, before the
// writer starts) until the writer closes it, or a minute passes without a
// byte, pausing for `hold` once `first` bytes have come.
inline std::string read_held(int fd, size_t first, std::chrono::milliseconds hold) {
  std::string got;
  char buffer[1 << 16];
  for (pollfd ready{fd, POLLIN, 0}; ::poll(&ready, 1, 60000) > 0;) {
    const ssize_t n =
        ::read(fd, buffer, std::min(sizeof buffer, got.size() < first ? first - got.size() : sizeof buffer));
    if (n <= 0) break;
    got.append(buffer, static_cast<size_t>(n));
    if (got.size() == first) std::this_thread::sleep_for(hold);
  }
  return got;
}

}  // namespace testing_support

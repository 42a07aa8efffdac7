#include "output.hpp"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace itsolv {

bool emit(std::string_view text) {
  const char* p = text.data();
  size_t left = text.size();
  while (left > 0) {
    const ssize_t put = write(STDOUT_FILENO, p, left);
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) {
      const int error = put < 0 ? errno : EIO;
      std::fprintf(stderr, "itsolv: cannot write to standard output: %s\n", std::strerror(error));
      return false;
    }
    p += put;
    left -= static_cast<size_t>(put);
  }
  return true;
}

}  // namespace itsolv

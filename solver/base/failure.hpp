// Failures of the solver: the function that meets one throws a Failure
// carrying the exact text to print; the program prints it on standard output
// and exits with status 1. Tests catch it and read the text.
#pragma once

#include <cstdarg>
#include <cstdio>
#include <string>

namespace itsolv {

struct Failure {
  std::string message;  // complete output, line breaks included
};

[[noreturn]] inline void fail(const char* format, ...) __attribute__((format(printf, 1, 2)));

[[noreturn]] inline void fail(const char* format, ...) {
  va_list args;
  va_start(args, format);
  va_list copy;
  va_copy(copy, args);
  const int length = std::vsnprintf(nullptr, 0, format, copy);
  va_end(copy);
  std::string text(length > 0 ? static_cast<size_t>(length) : 0, '\0');
  if (length > 0) std::vsnprintf(text.data(), text.size() + 1, format, args);
  va_end(args);
  throw Failure{std::move(text)};
}

}  // namespace itsolv

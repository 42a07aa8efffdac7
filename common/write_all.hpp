// Writing all of a buffer to a file descriptor, the one loop both programs
// use, and the note on standard error when standard output cannot take a
// program's results or messages.
#pragma once

#include <cstddef>
#include <string_view>

namespace common {

// Writes every byte, resuming after partial writes and interrupted calls.
// True when all was written; false (errno set) on the first failure.
bool write_all(int fd, const char* data, size_t size);

// Writes all of `text` to standard output; when that fails, notes
// "<program>: cannot write to standard output: <reason>" on standard error
// (the one place left to say so) and returns false.
bool write_stdout(const char* program, std::string_view text);

// Writes all of `text` to standard error, ignoring failures.
void write_stderr(std::string_view text);

// A closed pipe or a file size limit (EFBIG) shows as a failed write, not as the end of
// the process: called first thing by every program.
void ignore_write_signals();

}  // namespace common

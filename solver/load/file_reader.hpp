// Loading, stage 1: reading the file's bytes into a buffer that grows.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "base/workers.hpp"

namespace itsolv {

// Closes the descriptor it owns.
class FileHandle {
 public:
  explicit FileHandle(int fd) : fd_(fd) {}
  ~FileHandle();
  FileHandle(const FileHandle&) = delete;
  FileHandle& operator=(const FileHandle&) = delete;
  int fd() const { return fd_; }

 private:
  int fd_;
};

// Sequential access to the file's bytes through a growing buffer. Blanks
// follow the bytes read, so that a parser may look a few bytes past the last
// token. Failures to read throw the Failure to print.
class Reader {
 public:
  static constexpr size_t kSlack = 64;
  // First buffer sizes: a loader's, which reads on into the values, and one
  // for the count and the tolerance alone.
  static constexpr size_t kFirstRead = size_t{1} << 16;
  static constexpr size_t kHeaderRead = 4096;
  static constexpr size_t kSharedSlice = size_t{256} << 10;
  // No number is this long: a stream of bytes without white space (say,
  // /dev/zero) is refused before it takes all memory.
  static constexpr size_t kLongestToken = size_t{64} << 20;

  // `size` is the file's size when known (0 otherwise): no buffer grows
  // beyond what the file holds.
  Reader(int fd, const char* path, size_t first_read, uint64_t size)
      : fd_(fd), path_(path), size_(size), capacity_(first_read), buf_(first_read + kSlack, ' ') {}

  const char* path() const { return path_; }
  char* data() { return buf_.data(); }
  size_t pos() const { return pos_; }
  size_t end() const { return end_; }
  bool eof() const { return eof_; }
  int64_t line() const { return line_; }
  // File offset of data()[k].
  uint64_t offset(size_t k) const { return base_ + k; }

  // Consumes data()[pos() .. to), which hold `newlines` line feeds.
  void consume(size_t to, int64_t newlines) {
    if (to > pos_) last_byte_ = buf_[to - 1];
    pos_ = to;
    line_ += newlines;
  }

  // Keeps the unconsumed bytes and reads more after them, growing the buffer
  // when they fill it. Returns false at the end of the file.
  bool fill(size_t capacity);

  // The next token, read one byte at a time; false at the end of the file.
  bool next_token(const char*& begin, const char*& end);

  // Refuses a token of `length` bytes or more that has not ended yet.
  void too_long(size_t length) const;

  // Refuses a file that ended before all of it was read.
  [[noreturn]] void cut_short() const;

  // Reads from byte `offset` of the file on (before the first fill).
  void start_at(uint64_t offset);
  // Reads no byte at or after byte `offset` of the file until told another.
  void read_up_to(uint64_t offset) { read_end_ = offset; }

  // Gives back buffer memory beyond `capacity`, keeping the unconsumed bytes.
  void shrink(size_t capacity);

  // Lets the team read large stretches of a file of known size, each
  // member a slice at its offset (pread), so that copying the bytes in is
  // not left to one core.
  void share_reads(Workers* workers) { workers_ = workers; }

  // The line on which the file's last byte stands.
  int64_t last_line() const { return last_byte_ == '\n' ? line_ - 1 : line_; }
  // The last byte consumed.
  char last_byte() const { return last_byte_; }

 private:
  // Reads up to `want` bytes after end_ in slices, the team sharing them;
  // gives how many were read without a gap from end_ on.
  size_t read_shared(size_t want);

  int fd_;
  const char* path_;
  Workers* workers_ = nullptr;
  uint64_t size_;
  size_t capacity_;
  std::vector<char> buf_;  // capacity_ bytes, then kSlack blanks
  size_t pos_ = 0, end_ = 0;
  uint64_t base_ = 0;
  uint64_t read_end_ = UINT64_MAX;
  bool eof_ = false;
  int64_t line_ = 1;
  char last_byte_ = '\n';
};

}  // namespace itsolv

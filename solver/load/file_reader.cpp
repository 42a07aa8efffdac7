#include "load/file_reader.hpp"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "base/failure.hpp"
#include "parse/number_token.hpp"

namespace itsolv {

FileHandle::~FileHandle() {
  if (fd_ >= 0) close(fd_);
}

bool Reader::fill(size_t capacity) {
  if (eof_) return false;
  if (pos_ > 0) {
    std::memmove(buf_.data(), buf_.data() + pos_, end_ - pos_);
    base_ += pos_;
    end_ -= pos_;
    pos_ = 0;
  }
  if (capacity < end_ * 2) capacity = end_ * 2;
  if (size_ > base_ && capacity > size_ - base_ + 1) capacity = static_cast<size_t>(size_ - base_ + 1);
  // A file that has grown since its size was taken still has room to be
  // read into: a full buffer always grows.
  if (capacity <= end_) capacity = end_ * 2 + 1;
  if (capacity_ < capacity) {
    capacity_ = capacity;
    buf_.resize(capacity_ + kSlack);
  }
  const size_t before = end_, stop = static_cast<size_t>(std::min<uint64_t>(capacity_, read_end_ - base_));
  if (workers_ != nullptr && workers_->size() > 1 && size_ > base_ + end_) {
    const size_t want = std::min<uint64_t>(stop - end_, size_ - (base_ + end_));
    if (want >= kSharedSlice * 2) {
      end_ += read_shared(want);
      // The reads below go on from there (a short slice is read again, and
      // tells what went wrong).
      if (lseek(fd_, static_cast<off_t>(base_ + end_), SEEK_SET) < 0)
        fail("Cannot read file %s: %s\n", path_, std::strerror(errno));
    }
  }
  while (end_ < stop) {
    const ssize_t got = read(fd_, buf_.data() + end_, stop - end_);
    if (got < 0) {
      if (errno == EINTR) continue;
      fail("Cannot read file %s: %s\n", path_, std::strerror(errno));
    }
    if (got == 0) {
      // Ending before the size it had when opened, the file was cut while
      // it was read: a token just before the cut may have lost its tail.
      const char last = end_ > 0 ? buf_[end_ - 1] : last_byte_;
      if (base_ + end_ < size_ && !is_space(last)) cut_short();
      eof_ = true;
      break;
    }
    end_ += static_cast<size_t>(got);
  }
  std::memset(buf_.data() + end_, ' ', kSlack);
  return end_ > before || !eof_;
}

size_t Reader::read_shared(size_t want) {
  const size_t slices = (want + kSharedSlice - 1) / kSharedSlice;
  std::vector<size_t> got(slices, 0);
  char* const to = buf_.data() + end_;
  const uint64_t at = base_ + end_;
  workers_->for_each(slices, [&](size_t k) {
    const size_t begin = k * kSharedSlice, length = std::min(kSharedSlice, want - begin);
    while (got[k] < length) {
      const ssize_t n = pread(fd_, to + begin + got[k], length - got[k], static_cast<off_t>(at + begin + got[k]));
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      got[k] += static_cast<size_t>(n);
    }
  });
  size_t done = 0;
  for (size_t k = 0; k < slices && done == k * kSharedSlice; ++k) done += got[k];
  return done;
}

bool Reader::next_token(const char*& begin, const char*& end) {
  for (;;) {
    while (pos_ < end_ && is_space(buf_[pos_])) consume(pos_ + 1, buf_[pos_] == '\n');
    if (pos_ < end_) break;
    if (!fill(capacity_)) return false;
  }
  size_t stop = pos_;
  for (;;) {
    while (stop < end_ && !is_space(buf_[stop])) ++stop;
    if (stop < end_ || eof_) break;
    too_long(stop - pos_);
    const size_t done = stop - pos_;
    fill(capacity_ * 2);
    stop = pos_ + done;
  }
  begin = buf_.data() + pos_;
  end = buf_.data() + stop;
  consume(stop, 0);
  return true;
}

void Reader::too_long(size_t length) const {
  if (length >= kLongestToken)
    fail("Cannot read file %s: no white space in %zu bytes at line %lld\n", path_, length,
         static_cast<long long>(line_));
}

void Reader::cut_short() const { fail("Cannot read file %s: the file was cut short while it was read\n", path_); }

void Reader::start_at(uint64_t offset) {
  if (lseek(fd_, static_cast<off_t>(offset), SEEK_SET) < 0)
    fail("Cannot read file %s: %s\n", path_, std::strerror(errno));
  base_ = offset;
}

void Reader::shrink(size_t capacity) {
  if (capacity >= capacity_ || end_ - pos_ > capacity) return;
  std::vector<char> smaller(capacity + kSlack, ' ');
  std::memcpy(smaller.data(), buf_.data() + pos_, end_ - pos_);
  base_ += pos_;
  end_ -= pos_;
  pos_ = 0;
  std::memset(smaller.data() + end_, ' ', kSlack);
  buf_.swap(smaller);
  capacity_ = capacity;
}

}  // namespace itsolv

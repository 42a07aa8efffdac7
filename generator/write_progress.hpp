#pragma once

// How far the writing of a problem has got, for a progress display: an
// output that passes everything on to another and counts the bytes, telling
// a Progress after each mebibyte.

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "common/progress.hpp"
#include "generator/problem_args.hpp"

namespace mkprob {

// The expected size of the problem file of `numvar` variables: the lengths
// of the header and the starting values are exact; a coefficient takes 2 or
// 3 bytes (288/99 on average) and a right-hand side about 3.
inline uint64_t expected_size(int32_t numvar, float error) {
  char header[96];
  const int header_length = std::snprintf(header, sizeof header, "%d\n%f\n", numvar, static_cast<double>(error));
  if (numvar <= 0) return static_cast<uint64_t>(header_length) + 1;
  const double n = numvar;
  const double diagonal = std::snprintf(header, sizeof header, "%d ", static_cast<int>(diagonal_value(numvar)));
  const double row = diagonal + (n - 1) * 288.0 / 99.0 + 3.0;
  return static_cast<uint64_t>(header_length + 2 * n + 1 + n * row);
}

// An output for write_problem (see problem_writer.hpp).
template <class Out>
class ProgressOut {
 public:
  static constexpr uint64_t kStep = uint64_t{1} << 20;

  // `progress` may be null; `total` is the size expected.
  ProgressOut(Out& out, common::Progress* progress, uint64_t total) : out_(out), progress_(progress), total_(total) {}

  char* reserve(size_t n) { return start_ = out_.reserve(n); }

  void commit(char* end) {
    out_.commit(end);
    count(static_cast<uint64_t>(end - start_));
  }

  size_t chunk_size() const requires requires(Out& o) { o.chunk_size(); }
  { return out_.chunk_size(); }
  char* take_chunk() requires requires(Out& o) { o.take_chunk(); }
  { return out_.take_chunk(); }
  void put_chunk(char* chunk, size_t size) requires requires(Out& o, char* c, size_t n) { o.put_chunk(c, n); }
  {
    out_.put_chunk(chunk, size);
    count(size);
  }

  bool good() const { return out_.good(); }

 private:
  void count(uint64_t bytes) {
    done_ += bytes;
    if (done_ >= next_) {
      next_ = done_ + kStep;
      if (progress_ != nullptr) progress_->advance(done_, total_ > done_ ? total_ : done_);
    }
  }

  Out& out_;
  common::Progress* progress_;
  uint64_t total_;
  uint64_t done_ = 0;
  uint64_t next_ = kStep;
  char* start_ = nullptr;
};

}  // namespace mkprob

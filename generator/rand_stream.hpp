#pragma once

// The process's unseeded `rand` sequence, served in blocks. Where the C
// library's generator is the one GlibcRandom reproduces, the draws come from
// the reproduction, which avoids the library's locking; elsewhere they come
// from the library itself. Either way the draws are the library's own, in
// order, from the start of its sequence.

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "generator/glibc_rand.hpp"

namespace mkprob {

class RandStream {
 public:
  using LibraryDraw = int (*)();

  // Takes the library's first block of draws and compares it with the
  // reproduction's. Must be created before anything else in the process
  // draws from `library`; there must be only one.
  explicit RandStream(LibraryDraw library = &std::rand) noexcept;

  int32_t next() noexcept {
    if (pos_ == block_.size()) refill();
    return block_[pos_++];
  }

  // The next draws, at least one and at most max of them; valid until the
  // stream is used again.
  std::span<const int32_t> take(size_t max) noexcept {
    if (pos_ == block_.size()) refill();
    const size_t count = std::min(max, block_.size() - pos_);
    const int32_t* first = block_.data() + pos_;
    pos_ += count;
    return {first, count};
  }

  // True when the draws come from the reproduction.
  bool reproduced() const noexcept { return reproduced_; }

  // Before any draw is served from a reproduced sequence: the generator at
  // the stream's first draw, which others may copy and advance. Null
  // otherwise.
  const GlibcRandom* untouched_start() const noexcept {
    return reproduced_ && pos_ == 0 && !refilled_ ? &origin_ : nullptr;
  }

 private:
  void refill() noexcept;

  LibraryDraw library_;
  GlibcRandom origin_;  // at the sequence's first draw
  GlibcRandom reproduction_;
  bool reproduced_ = false;
  bool refilled_ = false;
  size_t pos_ = 0;
  std::array<int32_t, 4096> block_;
};

}  // namespace mkprob

#include "generator/rand_stream.hpp"

#include <algorithm>

namespace mkprob {

RandStream::RandStream(LibraryDraw library) noexcept : library_(library) {
  // The library's first block is the stream's first block in any case, so
  // checking costs no draws: on a match the reproduction, which has produced
  // the same block, simply carries on.
  for (auto& draw : block_) draw = library_();
  std::array<int32_t, 4096> expected;
  reproduction_.fill(expected.data(), expected.size());
  reproduced_ = std::equal(block_.begin(), block_.end(), expected.begin());
}

void RandStream::refill() noexcept {
  if (reproduced_) {
    reproduction_.fill(block_.data(), block_.size());
  } else {
    for (auto& draw : block_) draw = library_();
  }
  pos_ = 0;
  refilled_ = true;
}

}  // namespace mkprob

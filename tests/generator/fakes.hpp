// Stand-ins for the generator's draws and output, shared by its tests.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace mkprob_test {

// Draws 0, 7919, 2 * 7919, ... modulo 2^31: every remainder occurs. They
// come in small, uneven batches.
class CountingDraws {
 public:
  int32_t next() { return static_cast<int32_t>((n_++ * 7919u) & 0x7fffffffu); }
  uint32_t drawn() const { return n_; }
  std::span<const int32_t> take(size_t max) {
    batch_.resize(std::min<size_t>(max, 1 + n_ % 37));
    for (auto& draw : batch_) draw = next();
    return batch_;
  }

 private:
  uint32_t n_ = 0;
  std::vector<int32_t> batch_;
};

// Output into a string.
class StringOut {
 public:
  char* reserve(size_t n) {
    text_.resize(size_ + n);
    return text_.data() + size_;
  }
  void commit(char* end) { size_ = static_cast<size_t>(end - text_.data()); }
  bool good() const { return true; }
  std::string text() const { return text_.substr(0, size_); }

 private:
  std::string text_;
  size_t size_ = 0;
};

}  // namespace mkprob_test

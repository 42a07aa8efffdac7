// Progress of long work, for whoever shows it. The loader reports the bytes
// it has read after each chunk; nothing here prints.
#pragma once

#include <cstdint>

namespace common {

class Progress {
 public:
  virtual ~Progress() = default;
  // `done` of `total` bytes (total 0 when the size is not known).
  virtual void advance(uint64_t done, uint64_t total) = 0;
  // The work has ended, well or not.
  virtual void finish() = 0;
};

}  // namespace common

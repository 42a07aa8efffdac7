// The bits of a float, for comparisons that tell -0 from 0 and one NaN from
// another.
#pragma once

#include <cstdint>
#include <cstring>

namespace testing_support {

inline uint32_t bits(float f) {
  uint32_t u;
  std::memcpy(&u, &f, sizeof u);
  return u;
}

inline bool same_bits(float a, float b) { return bits(a) == bits(b); }

}  // namespace testing_support

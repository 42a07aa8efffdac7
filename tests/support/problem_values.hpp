// Random problems for tests: the values of a problem and the text of a file
// that holds them exactly.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "support/literal_solver.hpp"

namespace testing_support {

struct Values {
  int32_t num = 0;
  float err = 0.0f;
  std::vector<float> a;  // row-major, diagonal included
  std::vector<float> b, x;
  float& at(int32_t i, int32_t j) { return a[static_cast<size_t>(i) * num + j]; }
};

enum class Kind {
  small_integers,  // off-diagonal integers in [-128, 127]
  wide_integers,   // some need 16 bits
  decimals,        // non-integer values
  specials,        // zeros, infinities and NaNs among the coefficients
  weak,            // rows dominant only weakly, one strict
};

inline Values random_values(int32_t n, Kind kind, uint32_t seed, float err = 1e-4f) {
  std::mt19937 rng(seed);
  auto uniform = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  Values v;
  v.num = n;
  v.err = err;
  v.a.assign(static_cast<size_t>(n) * n, 0.0f);
  v.b.resize(static_cast<size_t>(n));
  v.x.resize(static_cast<size_t>(n));
  for (int32_t i = 0; i < n; ++i) {
    float sum = 0.0f;
    for (int32_t j = 0; j < n; ++j) {
      if (j == i) continue;
      float c = 0.0f;
      switch (kind) {
        case Kind::small_integers:
          c = static_cast<float>(uniform(-128, 127));
          break;
        case Kind::wide_integers:
          c = static_cast<float>(uniform(0, 9) == 0 ? uniform(-32768, 32767) : uniform(-99, 99));
          break;
        case Kind::decimals:
          c = static_cast<float>(uniform(-99999, 99999)) / 1024.0f;
          break;
        case Kind::specials: {
          const int pick = uniform(0, 199);
          c = pick == 0   ? std::numeric_limits<float>::infinity()
              : pick == 1 ? -std::numeric_limits<float>::quiet_NaN()
              : pick < 40 ? 0.0f
                          : static_cast<float>(uniform(-50, 50));
          break;
        }
        case Kind::weak:
          c = static_cast<float>(uniform(-3, 3));
          break;
      }
      v.at(i, j) = c;
      sum += std::fabs(c);
    }
    float d = sum + static_cast<float>(uniform(1, 5 * n + 5));
    if (kind == Kind::weak && i > 0) d = sum;  // only row 0 strictly dominant
    if (!std::isfinite(d)) d = 1e30f;
    v.at(i, i) = uniform(0, 1) ? d : -d;
    v.b[static_cast<size_t>(i)] = static_cast<float>(uniform(-1000, 1000)) / (kind == Kind::decimals ? 8.0f : 1.0f);
    v.x[static_cast<size_t>(i)] = uniform(0, 3) == 0 ? static_cast<float>(uniform(-5, 5)) : 0.0f;
  }
  return v;
}

// Exact text of a float: "%.9g" reads back as the same float, and inf and
// nan keep their sign.
inline std::string token(float f) {
  char text[64];
  if (std::isnan(f)) return std::signbit(f) ? "-nan" : "nan";
  std::snprintf(text, sizeof text, "%.9g", static_cast<double>(f));
  return text;
}

inline std::string problem_text(const Values& v, const char* separator = " ", const char* line_end = "\n") {
  std::string text = std::to_string(v.num) + line_end + token(v.err) + line_end;
  for (float f : v.x) text += token(f) + separator;
  text += line_end;
  for (int32_t i = 0; i < v.num; ++i) {
    for (int32_t j = 0; j < v.num; ++j) text += token(v.a[static_cast<size_t>(i) * v.num + j]) + separator;
    text += token(v.b[static_cast<size_t>(i)]) + line_end;
  }
  return text;
}

}  // namespace testing_support

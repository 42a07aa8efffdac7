// Draws from a seeded sequence, for the tests' random problems.
#pragma once

#include <cstdint>
#include <random>
#include <vector>

namespace testing_support {

class Draws {
 public:
  explicit Draws(uint64_t seed) : rng_(seed) {}
  int uniform(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng_); }
  double real(double lo, double hi) { return std::uniform_real_distribution<double>(lo, hi)(rng_); }
  bool chance(double p) { return std::bernoulli_distribution(p)(rng_); }
  template <typename T>
  T pick(const std::vector<T>& items) {
    return items[static_cast<size_t>(uniform(0, static_cast<int>(items.size()) - 1))];
  }

 private:
  std::mt19937_64 rng_;
};

}  // namespace testing_support

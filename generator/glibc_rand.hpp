#pragma once

// The GNU C library's default pseudo-random generator: the sequence that
// `rand` produces until it is seeded (which equals the sequence for seed 1).
//
// The generator is an additive lagged Fibonacci generator over 31 words,
// r[i] = r[i-3] + r[i-31] (mod 2^32). Its first 31 words come from the seed
// through the Park-Miller sequence r[i] = 16807 * r[i-1] mod (2^31 - 1),
// r[31..33] repeat r[0..2], the first 310 outputs are thrown away, and each
// draw is the new word without its lowest bit.

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "generator/rand_words.hpp"

namespace mkprob {

class GlibcRandom {
 public:
  explicit GlibcRandom(int32_t seed = 1) noexcept {
    std::array<int64_t, 34> r{};
    r[0] = seed == 0 ? 1 : seed;
    for (size_t i = 1; i < 31; ++i) {
      // 16807 * r mod (2^31 - 1) without overflow (Schrage's method), with
      // the library's signed arithmetic for seeds that are not positive.
      const int64_t hi = r[i - 1] / 127773, lo = r[i - 1] % 127773;
      int64_t word = 16807 * lo - 2836 * hi;
      if (word < 0) word += 2147483647;
      r[i] = word;
    }
    for (size_t i = 31; i < 34; ++i) r[i] = r[i - 31];
    for (size_t i = 0; i < kLag; ++i) history_[i] = static_cast<uint32_t>(r[i + 3]);
    int32_t discarded[310];
    fill(discarded, 310);
  }

  // Writes the next n draws to out.
  void fill(int32_t* out, size_t n) noexcept {
    while (n > 0) {
      const size_t k = n < kBatch ? n : kBatch;
      uint32_t w[kLag + kBatch];  // w[t] is r[i - 31] for the t-th new word
      std::memcpy(w, history_.data(), sizeof history_);
      next_words(w, k);
      for (size_t t = 0; t < k; ++t) out[t] = static_cast<int32_t>(w[kLag + t] >> 1);
      std::memcpy(history_.data(), w + k, sizeof history_);
      out += k;
      n -= k;
    }
  }

  int32_t next() noexcept {
    int32_t value;
    fill(&value, 1);
    return value;
  }

  // Skips the next k draws. The words follow a linear recurrence, so the
  // word k places on is a fixed combination of the 31 words held: x^k
  // reduced modulo x^31 - x^28 - 1 gives its weights, found with
  // O(log k) products instead of k steps.
  void advance(uint64_t k) noexcept {
    if (k < kJumpFrom) {
      int32_t skipped[kBatch];
      for (; k > 0; k -= k < kBatch ? k : kBatch) fill(skipped, k < kBatch ? k : kBatch);
      return;
    }
    Poly power{}, base{};
    power[0] = 1;
    base[1] = 1;
    for (; k > 0; k >>= 1) {  // power = x^k
      if (k & 1) power = times(power, base);
      base = times(base, base);
    }
    // history_[m] is the word at x^m; the new history's word m is at
    // x^(k + m).
    std::array<uint32_t, kLag> next{};
    for (size_t m = 0; m < kLag; ++m) {
      uint32_t word = 0;
      for (size_t i = 0; i < kLag; ++i) word += power[i] * history_[i];
      next[m] = word;
      power = times_x(power);
    }
    history_ = next;
  }

 private:
  static constexpr size_t kLag = 31;
  static constexpr size_t kBatch = 1024;
  // Below this many draws stepping is cheaper than the polynomial jump.
  static constexpr uint64_t kJumpFrom = 1 << 16;

  // A polynomial below degree 31 in the words' shift x, coefficients mod
  // 2^32; x^31 = x^28 + 1, as r[i] = r[i-3] + r[i-31].
  using Poly = std::array<uint32_t, kLag>;

  static Poly times_x(const Poly& p) noexcept {
    Poly r{};
    for (size_t i = 0; i + 1 < kLag; ++i) r[i + 1] = p[i];
    r[28] += p[kLag - 1];
    r[0] += p[kLag - 1];
    return r;
  }

  static Poly times(const Poly& a, const Poly& b) noexcept {
    std::array<uint32_t, 2 * kLag - 1> full{};
    for (size_t i = 0; i < kLag; ++i)
      for (size_t j = 0; j < kLag; ++j) full[i + j] += a[i] * b[j];
    for (size_t d = full.size() - 1; d >= kLag; --d) {  // x^d = x^(d-3) + x^(d-31)
      full[d - 3] += full[d];
      full[d - kLag] += full[d];
    }
    Poly r;
    std::memcpy(r.data(), full.data(), sizeof r);
    return r;
  }

  std::array<uint32_t, kLag> history_{};  // the last 31 words, oldest first
};

}  // namespace mkprob

// Loading, stage 4: the sources that the placement of values
// (value_placement.cpp) reads from, one value or a run of values at a
// time: the tokens of a text, with the vector readers of short integers and
// decimals where they pay, or compact values.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <type_traits>

#include "load/value_placement.hpp"
#include "parse/decimal_tokens.hpp"
#include "parse/run_backoff.hpp"
#include "parse/short_tokens.hpp"
#include "parse/white_space.hpp"

namespace itsolv {

// One value and, for a short integer, the narrowest storage that holds it
// (f32 stands for "not worked out": a float matrix has no use for it).
struct Token {
  float value;
  int32_t whole;  // the value, when `fits` is narrower than float
  Storage fits;
};

// Where the values of a row held go: element (row, col) at
// base[col * stride], the diagonal apart.
template <typename T>
struct RowTarget {
  T* base;
  size_t stride;
  bool staged;  // into the stage, side by side in token order
  int32_t row;
  float* diag;
};

// Stores the values vals[0 .. count) of columns col, col + 1, ... of row
// `row`, whose element (row, 0) is at base.
template <typename T, typename V>
void store_run(T* base, size_t stride, int32_t row, int32_t col, int32_t count, const V* vals, float* diag) {
  auto put = [&](int32_t from, int32_t to) {
    for (int32_t c = from; c < to; ++c) base[static_cast<size_t>(c) * stride] = static_cast<T>(vals[c - col]);
  };
  if (row >= col && row < col + count) {
    put(col, row);
    diag[row] = static_cast<float>(vals[row - col]);
    put(row + 1, col + count);
  } else {
    put(col, col + count);
  }
}

// The forms read_token does not read itself: returns the token's end, or
// null when it is not wholly a number.
const char* read_other_token(const char* q, Token* t);

// The token at q (after white space): its end, or null when it is not
// wholly a number. q has the reader's blanks after it.
__attribute__((always_inline)) inline const char* read_token(const char* q, Token& t) {
  const unsigned d0 = static_cast<unsigned char>(q[0]) - '0';
  if (d0 < 10) {
    // One or two digits: most coefficients of generated problems.
    if (is_space(q[1])) {
      t = {static_cast<float>(d0), static_cast<int32_t>(d0), Storage::i8};
      return q + 1;
    }
    const unsigned d1 = static_cast<unsigned char>(q[1]) - '0';
    if (d1 < 10 && is_space(q[2])) {
      const int32_t m = static_cast<int32_t>(d0 * 10 + d1);
      t = {static_cast<float>(m), m, Storage::i8};
      return q + 2;
    }
  }
  Token other;
  const char* const end = read_other_token(q, &other);
  t = other;
  return end;
}

// Tokens of a text, from q on: where the reading stands and the first token
// that is not a number. The vector readers given are tried before the
// scalar one.
class TextSource {
 public:
  TextSource(const char* text, ShortRunReader shorts, DecimalRunReader decimals)
      : q(text), shorts_reader_(shorts), decimals_reader_(decimals) {}

  // Skips white space and reads the next token into t; when it is not a
  // number sets `bad` to its start (and q to its end).
  __attribute__((always_inline)) bool next(Token& t) {
    const char* r = q;
    while (is_space(*r)) ++r;
    const char* const end = read_token(r, t);
    if (end == nullptr) {
      bad = r;
      q = token_end(r);
      return false;
    }
    q = end;
    return true;
  }

  // Reads up to `count` tokens not kept; gives how many were numbers.
  int32_t skip(int32_t count) {
    Token t;
    int32_t k = 0;
    while (k < count && next(t)) ++k;
    return k;
  }

  // A row begins: the vector readers are tried at once.
  void begin_row() { shorts_.wait = decimals_.wait = 0; }

  // Places a run of tokens at columns col ... of r's row, at most `max`,
  // with the vector readers that are due; gives how many.
  template <typename T>
  __attribute__((always_inline)) int32_t run(const RowTarget<T>& r, int32_t col, int32_t max) {
    int32_t got = 0;
    if (shorts_due()) {
      got = place_shorts(r, col, std::min(max, kRun));
      if (got == max) return got;
    }
    if constexpr (std::is_same_v<T, float>) {
      if (decimals_reader_ != nullptr && decimals_.due()) {
        float values[kRun + 8];
        const int32_t more = decimals_reader_(q, std::min(max - got, kRun), values);
        decimals_.took(more);
        store_run(r.base, r.stride, r.row, col + got, more, values, r.diag);
        got += more;
      }
    }
    return got;
  }

  // Reads a run of short integers into `into`, at most `max`, when that
  // reader is due; gives how many.
  int32_t shorts(int8_t* into, int32_t max) { return shorts_due() ? read_shorts(into, max) : 0; }

  const char* q;
  const char* bad = nullptr;

 private:
  bool shorts_due() { return shorts_reader_ != nullptr && shorts_.due(); }
  int32_t read_shorts(int8_t* into, int32_t max) {
    const int32_t got = shorts_reader_(q, max, into);
    shorts_.took(got);
    return got;
  }

  // Reads a run of short tokens into columns col ... of the row, at most
  // `max`; gives how many.
  template <typename T>
  int32_t place_shorts(const RowTarget<T>& r, int32_t col, int32_t max) {
    alignas(64) int8_t vals[kRun + kBlockValues];
    // Int8 values are read straight into the stage.
    const bool direct = std::is_same_v<T, int8_t> && r.staged;
    int8_t* const into = direct ? reinterpret_cast<int8_t*>(r.base) + col : vals;
    const int32_t got = read_shorts(into, max);
    if (!direct)
      store_run(r.base, r.stride, r.row, col, got, vals, r.diag);
    else if (r.row >= col && r.row < col + got)
      r.diag[r.row] = static_cast<float>(into[r.row - col]);
    return got;
  }

  ShortRunReader shorts_reader_;
  DecimalRunReader decimals_reader_;
  Backoff shorts_, decimals_;
};

// Stores values[0 .. count) of columns col ... of a staged row (a row's
// values side by side); the diagonal goes to diag.
template <typename T, typename V>
void stage_run(const RowTarget<T>& r, int32_t col, int32_t count, const V* values) {
  std::copy(values, values + count, r.base + col);
  if (r.row >= col && r.row < col + count) r.diag[r.row] = static_cast<float>(values[r.row - col]);
}

// Values kept in compact form, in consecutive runs, placed through a stage:
// the byte form in runs up to the next value kept aside, or every value as
// a float.
class CompactSource {
 public:
  explicit CompactSource(std::span<const CompactValues> runs) : runs_(runs) {}

  bool next(Token& t) {
    const CompactValues& v = settle();
    const auto k = static_cast<size_t>(k_++);
    if (!v.wide.empty()) {
      t = {v.wide[k], 0, Storage::f32};
    } else if (o_ < v.others.size() && v.others[o_].first == k) {
      t = {v.others[o_++].second, 0, Storage::f32};
    } else {
      t = {static_cast<float>(v.small[k]), v.small[k], Storage::i8};
    }
    return true;
  }
  int32_t skip(int32_t count) {
    for (int64_t left = count; left > 0;) {
      const CompactValues& v = settle();
      const int64_t taken = std::min(left, v.count - k_);
      k_ += taken;
      left -= taken;
      while (o_ < v.others.size() && v.others[o_].first < k_) ++o_;
    }
    return count;
  }
  void begin_row() {}
  // The values up to the next one kept aside or the end of the run (a
  // float matrix's all of them, when every value is a float), at most
  // `max`, into the stage.
  template <typename T>
  int32_t run(const RowTarget<T>& r, int32_t col, int32_t max) {
    const CompactValues& v = settle();
    const int64_t left = std::min<int64_t>(max, v.count - k_);
    int32_t got = 0;
    if (v.wide.empty()) {
      const int64_t aside = o_ < v.others.size() ? v.others[o_].first : k_ + left;
      got = static_cast<int32_t>(std::min(left, aside - k_));
      stage_run(r, col, got, v.small.data() + k_);
    } else if constexpr (std::is_same_v<T, float>) {
      got = static_cast<int32_t>(left);
      stage_run(r, col, got, v.wide.data() + k_);
    }
    k_ += got;
    return got;
  }

  // Compact values are all numbers.
  static constexpr const char* bad = nullptr;
  static constexpr const char* q = nullptr;

 private:
  // The run that holds the next value.
  const CompactValues& settle() {
    for (; k_ == runs_[r_].count; ++r_) k_ = 0, o_ = 0;
    return runs_[r_];
  }

  std::span<const CompactValues> runs_;
  size_t r_ = 0;  // the run read
  int64_t k_ = 0;
  size_t o_ = 0;  // the first value kept aside not yet placed
};

}  // namespace itsolv

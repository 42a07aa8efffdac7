#include "load/value_placement.hpp"

#include <algorithm>
#include <cstdio>
#include <type_traits>

#include "kernels/isa_table.hpp"
#include "parse/number_token.hpp"
#include "load/row_stage.hpp"
#include "parse/run_backoff.hpp"

namespace itsolv {

std::string describe(int64_t t, int32_t n) {
  const TokenPlace at = place_of(t, n);
  switch (at.kind) {
    case TokenPlace::Kind::count:
      return "the number of variables";
    case TokenPlace::Kind::tolerance:
      return "the tolerance";
    case TokenPlace::Kind::start:
      return "the starting value x[" + std::to_string(at.col) + "]";
    case TokenPlace::Kind::rhs:
      return "the right-hand side b[" + std::to_string(at.row) + "]";
    default:
      return "the coefficient a[" + std::to_string(at.row) + "][" + std::to_string(at.col) + "]";
  }
}

std::string quote(const char* begin, const char* end) {
  constexpr size_t kShown = 40;
  std::string out = "\"";
  size_t shown = 0;
  for (const char* p = begin; p != end; ++p, ++shown) {
    if (shown == kShown) {
      out += "...";
      break;
    }
    const unsigned char c = static_cast<unsigned char>(*p);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c >= 0x20 && c < 0x7f) {
      out += static_cast<char>(c);
    } else {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02x", c);
      out += hex;
    }
  }
  return out + "\"";
}

namespace {

constexpr int P = Matrix::kPanel;

// One number token: its value and, for short integers, the narrowest
// storage that holds it (f32 stands for "not worked out": a float matrix has
// no use for it).
struct Token {
  float value;
  int32_t whole;  // the value, when `fits` is narrower than float
  Storage fits;
};

// The forms read_token does not read itself: returns the token's end, or
// null when it is not wholly a number.
__attribute__((noinline)) const char* read_other_token(const char* q, Token* t) {
  const char* const begin = q;
  if (const int length = read_decimal(q, t->value)) {
    q += length;
  } else {
    while (!is_space(*q)) ++q;
    if (!parse_float(begin, q, t->value)) return nullptr;
  }
  t->fits = Storage::f32;
  return q;
}

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

// Skips white space and reads the next token into t; when it is not a number
// sets `bad` to its start.
__attribute__((always_inline)) inline bool next_token(const char*& q, Token& t, const char*& bad) {
  const char* r = q;
  while (is_space(*r)) ++r;
  const char* const end = read_token(r, t);
  if (end == nullptr) {
    bad = r;
    const char* e = r;
    while (!is_space(*e)) ++e;
    q = e;
    return false;
  }
  q = end;
  return true;
}

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

// The vector readers that place() runs before its scalar one.
struct RunReaders {
  ShortBlockReader shorts;
  DecimalRunReader decimals;
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

// The reading of a text: where it stands, the first bad token, and the
// widest storage that a value met needs.
struct Reading {
  Reading(const char* text, RunReaders run_readers) : q(text), readers(run_readers) {}
  const char* q;
  RunReaders readers;
  Token token;
  const char* bad = nullptr;
  Storage need = Storage::i8;
  Backoff shorts, decimals;
};

// Reads a run of short tokens into columns col ... of the row, at most
// `max`; gives how many.
template <typename T>
int32_t place_shorts(const RowTarget<T>& r, Reading& in, int32_t col, int32_t max) {
  alignas(64) int8_t vals[kRun + kBlockValues];
  // Int8 values are read straight into the stage.
  const bool direct = std::is_same_v<T, int8_t> && r.staged;
  int8_t* const into = direct ? reinterpret_cast<int8_t*>(r.base) + col : vals;
  const int32_t got = read_short_tokens(in.readers.shorts, in.q, max, into);
  in.shorts.took(got);
  if (!direct)
    store_run(r.base, r.stride, r.row, col, got, vals, r.diag);
  else if (r.row >= col && r.row < col + got)
    r.diag[r.row] = static_cast<float>(into[r.row - col]);
  return got;
}

// Stores the token the scalar reader read at column col of the row; a
// value that T does not hold raises in.need instead.
template <typename T>
void store_token(const RowTarget<T>& r, Reading& in, int32_t col) {
  constexpr Storage kStorage = sizeof(T) == 1 ? Storage::i8 : sizeof(T) == 2 ? Storage::i16 : Storage::f32;
  Token& token = in.token;
  if (col == r.row) {
    r.diag[r.row] = token.value;
  } else if constexpr (kStorage == Storage::f32) {
    r.base[static_cast<size_t>(col) * r.stride] = token.value;
  } else {
    if (token.fits == Storage::f32) {  // not worked out yet
      token.fits = storage_for(token.value);
      token.whole = token.fits == Storage::f32 ? 0 : static_cast<int32_t>(token.value);
    }
    if (token.fits <= kStorage)
      r.base[static_cast<size_t>(col) * r.stride] = static_cast<T>(token.whole);
    else if (token.fits > in.need)
      in.need = token.fits;
  }
}

// Places the tokens of columns col .. stop-1 of a row held, the vector
// readers first where they pay; gives the column reached.
template <typename T>
int32_t place_row(const RowTarget<T>& r, Reading& in, int32_t col, int32_t stop) {
  in.shorts.wait = in.decimals.wait = 0;
  for (; col < stop; ++col) {
    if (in.readers.shorts != nullptr && in.shorts.due()) {
      col += place_shorts(r, in, col, std::min(stop - col, kRun));
      if (col == stop) break;
    }
    if constexpr (std::is_same_v<T, float>) {
      if (in.readers.decimals != nullptr && in.decimals.due()) {
        float values[kRun + 8];
        const int32_t got = in.readers.decimals(in.q, std::min(stop - col, kRun), values);
        in.decimals.took(got);
        store_run(r.base, r.stride, r.row, col, got, values, r.diag);
        col += got;
        if (col == stop) break;
      }
    }
    if (!next_token(in.q, in.token, in.bad)) break;
    store_token(r, in, col);
  }
  return col;
}

// Places the starting values among tokens [t, t_end), from token t on.
void place_starts(Problem& p, Reading& in, int64_t& t, int64_t t_end) {
  const TokenPlace at = place_of(t, p.num);
  if (at.kind != TokenPlace::Kind::start) return;
  for (int32_t i = at.col; i < p.num && t < t_end; ++i, ++t) {
    if (!next_token(in.q, in.token, in.bad)) break;
    p.x[i] = in.token.value;
  }
}

template <typename T>
Placed place(Problem& p, const char* q, int64_t t, const int64_t t_end, RunReaders readers, RowStage* stage) {
  Placed placed;
  if (t >= t_end) return placed;
  const int32_t n = p.num;
  const RowRange held = p.a.held();
  Reading in(q, readers);
  place_starts(p, in, t, t_end);
  while (in.bad == nullptr && t < t_end) {
    const TokenPlace at = place_of(t, n);
    const int32_t row = at.row;
    const int32_t stop = static_cast<int32_t>(std::min<int64_t>(n, at.col + (t_end - t)));
    int32_t col = at.col;
    if (!held.contains(row)) {
      // A row another process holds: read, not kept.
      while (col < stop && next_token(in.q, in.token, in.bad)) ++col;
    } else {
      const RowTarget<T> r{stage != nullptr ? stage->at<T>(t) - col : p.a.row_base<T>(row),
                           stage != nullptr ? 1 : static_cast<size_t>(p.a.panel_height((row - held.begin) / P)),
                           stage != nullptr, row, p.diag.data()};
      col = place_row(r, in, col, stop);
    }
    t += col - at.col;
    if (in.bad != nullptr) break;
    if (col == n && t < t_end) {
      if (!next_token(in.q, in.token, in.bad)) break;
      if (held.contains(row)) p.b[row] = in.token.value;
      ++t;
    }
  }
  placed.need = in.need;
  if (in.bad != nullptr) {
    placed.bad = t;
    placed.bad_begin = in.bad;
    placed.bad_end = in.q;
  }
  return placed;
}

}  // namespace

Placed place_values(Problem& p, const char* text, int64_t first, int64_t count, Isa isa, RowStage* stage) {
  const RunReaders readers{isa_table(isa).short_reader, isa_table(isa).decimal_reader};
  return by_storage(p.a.storage(),
                    [&](auto t) { return place<decltype(t)>(p, text, first, first + count, readers, stage); });
}

const char* read_number(const char* q, float& value) {
  Token t;
  const char* const end = read_token(q, t);
  if (end != nullptr) value = t.value;
  return end;
}

}  // namespace itsolv

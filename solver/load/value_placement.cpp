#include "load/value_placement.hpp"

#include <algorithm>
#include <cstdio>
#include <new>
#include <type_traits>

#include "kernels/isa_table.hpp"
#include "load/load_options.hpp"
#include "load/row_stage.hpp"
#include "load/value_sources.hpp"
#include "parse/number_token.hpp"

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

__attribute__((noinline)) const char* read_other_token(const char* q, Token* t) {
  const char* const begin = q;
  if (const int length = read_decimal(q, t->value)) {
    q += length;
  } else {
    q = token_end(q);
    if (!parse_float(begin, q, t->value)) return nullptr;
  }
  t->fits = Storage::f32;
  return q;
}

namespace {

// Placing values from a source: the value read last, and the widest storage
// that a value met needs.
template <typename Source>
struct Placing {
  Source& values;
  Token token{};
  Storage need = Storage::i8;
};

// Stores the token read last at column col of the row; a value that T does
// not hold raises in.need instead.
template <typename T, typename Source>
void store_token(const RowTarget<T>& r, Placing<Source>& in, int32_t col) {
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

// Places the values of columns col .. stop-1 of a row held, the source's
// runs first where it has them; gives the column reached.
template <typename T, typename Source>
int32_t place_row(const RowTarget<T>& r, Placing<Source>& in, int32_t col, int32_t stop) {
  in.values.begin_row();
  for (; col < stop; ++col) {
    col += in.values.run(r, col, stop - col);
    if (col == stop) break;
    if (!in.values.next(in.token)) break;
    store_token(r, in, col);
  }
  return col;
}

// Places the starting values among tokens [t, t_end), from token t on.
template <typename Source>
void place_starts(Problem& p, Placing<Source>& in, int64_t& t, int64_t t_end) {
  const TokenPlace at = place_of(t, p.num);
  if (at.kind != TokenPlace::Kind::start) return;
  for (int32_t i = at.col; i < p.num && t < t_end; ++i, ++t) {
    if (!in.values.next(in.token)) break;
    p.x[i] = in.token.value;
  }
}

// The values of tokens [t, t_end), from `source`, into p (through the
// stage, when given), p's storage being T.
template <typename T, typename Source>
Placed place(Problem& p, Source& source, int64_t t, const int64_t t_end, RowStage* stage) {
  Placed placed;
  if (t >= t_end) return placed;
  const int32_t n = p.num;
  const RowRange held = p.a.held();
  Placing<Source> in{source};
  place_starts(p, in, t, t_end);
  while (source.bad == nullptr && t < t_end) {
    const TokenPlace at = place_of(t, n);
    const int32_t row = at.row;
    const int32_t stop = static_cast<int32_t>(std::min<int64_t>(n, at.col + (t_end - t)));
    int32_t col = at.col;
    if (!held.contains(row)) {
      col += source.skip(stop - col);  // a row another process holds
    } else {
      const RowTarget<T> r{stage != nullptr ? stage->at<T>(t) - col : p.a.row_base<T>(row),
                           stage != nullptr ? 1 : p.a.row_stride(row), stage != nullptr, row, p.diag.data()};
      col = place_row(r, in, col, stop);
    }
    t += col - at.col;
    if (source.bad != nullptr) break;
    if (col == n && t < t_end) {
      if (!source.next(in.token)) break;
      if (held.contains(row)) p.b[row] = in.token.value;
      ++t;
    }
  }
  placed.need = in.need;
  if (source.bad != nullptr) {
    placed.bad = t;
    placed.bad_begin = source.bad;
    placed.bad_end = source.q;
  }
  return placed;
}

}  // namespace

Placed place_values(Problem& p, const char* text, int64_t first, int64_t count, Isa isa, RowStage* stage) {
  TextSource source(text, isa_table(isa).short_reader, isa_table(isa).decimal_reader);
  return by_storage(p.a.storage(), [&](auto t) { return place<decltype(t)>(p, source, first, first + count, stage); });
}

Storage place_values(Problem& p, std::span<const CompactValues> runs, int64_t first, int64_t count, Isa isa) {
  // Through a stage, as itsolv's chunks, a panel of rows held at a time.
  const int64_t panel = panel_tokens(p.num), panels_from = row_token(p.num, p.a.held().begin);
  CompactSource source(runs);
  RowStage stage;
  Storage need = Storage::i8;
  for (int64_t t = first, end = first + count, stop = 0; t < end; t = stop) {
    const int64_t from = t - panels_from;
    stop = std::min(end, t + (from >= 0 ? panel - from % panel : std::min(panel, -from)));
    if (!stage.prepare(p.a.storage(), t, stop)) throw std::bad_alloc();
    by_storage(p.a.storage(),
               [&](auto v) { need = std::max(need, place<decltype(v)>(p, source, t, stop, &stage).need); });
    const StagedBands bands = staged_bands(p, stage, LoadOptions{}.move_columns);
    for (size_t k = 0; k < bands.count(); ++k) move_staged_band(p, stage, bands, k, isa);
  }
  return need;
}

}  // namespace itsolv

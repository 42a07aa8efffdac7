#include "compact_values.hpp"

#include <algorithm>

#include "base/failure.hpp"
#include "kernels/isa_table.hpp"
#include "parse/number_token.hpp"
#include "parse/run_backoff.hpp"
#include "load/value_placement.hpp"

namespace itsolv_mpi {
namespace {

using itsolv::Storage;
using itsolv::TokenPlace;

using itsolv::kRun;

// Keeps every value as a float: the run holds too many that do not fit a
// byte for the byte form to save memory.
void widen_all(CompactValues& v) {
  v.wide.assign(v.small.begin(), v.small.begin() + v.count);
  for (const auto& [k, value] : v.others) v.wide[k] = value;
  std::vector<int8_t>().swap(v.small);
  std::vector<std::pair<uint32_t, float>>().swap(v.others);
}

// Calls job(k, at, stop) for each stretch of tokens first, first + 1, ...
// (`count` of them) that lies in one place: starting values x[at.col ..
// stop), coefficients at.col .. stop - 1 of row at.row, or a right-hand side
// (stop = at.col + 1). k is the index in the run of the stretch's first.
template <typename Job>
void each_stretch(int64_t first, int64_t count, int32_t n, const Job& job) {
  for (int64_t k = 0; k < count;) {
    const TokenPlace at = itsolv::place_of(first + k, n);
    int32_t stop = at.col + 1;
    if (at.kind != TokenPlace::Kind::rhs) stop = static_cast<int32_t>(std::min<int64_t>(n, at.col + (count - k)));
    job(k, at, stop);
    k += stop - at.col;
  }
}

// The storage that the coefficients among v's first `count` values that p
// keeps (the diagonal apart) need.
Storage storage_needed(const itsolv::Problem& p, const CompactValues& v, int64_t first, int64_t count) {
  const itsolv::RowRange held = p.a.held();
  Storage need = Storage::i8;
  const auto kept = [&](const TokenPlace& at, int32_t col) {
    return at.kind == TokenPlace::Kind::coefficient && held.contains(at.row) && col != at.row;
  };
  if (!v.wide.empty()) {
    each_stretch(first, count, p.num, [&](int64_t k, const TokenPlace& at, int32_t stop) {
      for (int32_t c = at.col; c < stop; ++c)
        if (kept(at, c)) need = std::max(need, itsolv::storage_for(v.wide[static_cast<size_t>(k + c - at.col)]));
    });
    return need;
  }
  for (const auto& [k, value] : v.others) {
    if (k >= count) break;
    const TokenPlace at = itsolv::place_of(first + k, p.num);
    if (kept(at, at.col)) need = std::max(need, itsolv::storage_for(value));
  }
  return need;
}

// Rows stored a few at a time, a block of columns after another, so that
// the lines of the panel that they write stay in the cache from one row to
// the next (a row's columns lie a panel's height apart).
constexpr size_t kRowsAtOnce = 16;
constexpr int32_t kColumnBlock = 256;

// Coefficients col .. stop - 1 of a row, values k, k + 1, ... of the run in
// byte form, and the values kept aside among them, others[o, o_end).
template <typename T>
struct RowStretch {
  int32_t row, col, stop;
  int64_t k;
  size_t o, o_end;
  T* base;  // element (row, 0)
  size_t stride;
};

// Stores value a at column c of the stretch's row, the diagonal apart.
template <typename T>
void store(itsolv::Problem& p, const RowStretch<T>& s, int32_t c, float a) {
  if (c == s.row)
    p.diag[s.row] = a;
  else
    s.base[static_cast<size_t>(c) * s.stride] = static_cast<T>(a);
}

// Stores the byte-form values of the rows gathered, a block of columns of
// each row in turn, then their diagonals and the values kept aside; empties
// `rows`.
template <typename T>
void flush(itsolv::Problem& p, const CompactValues& v, std::vector<RowStretch<T>>& rows) {
  if (rows.empty()) return;
  int32_t from = rows.front().col, to = rows.front().stop;
  for (const RowStretch<T>& s : rows) from = std::min(from, s.col), to = std::max(to, s.stop);
  for (int32_t c0 = from; c0 < to; c0 += kColumnBlock)
    for (const RowStretch<T>& s : rows) {
      const int8_t* const values = v.small.data() + (s.k - s.col);
      const int32_t end = std::min(c0 + kColumnBlock, s.stop);
      for (int32_t c = std::max(c0, s.col); c < end; ++c)
        s.base[static_cast<size_t>(c) * s.stride] = static_cast<T>(values[c]);
    }
  for (const RowStretch<T>& s : rows) {
    if (s.row >= s.col && s.row < s.stop) {
      // The diagonal is kept apart; its place in the panel holds zero.
      p.diag[s.row] = static_cast<float>(v.small[static_cast<size_t>(s.k + s.row - s.col)]);
      s.base[static_cast<size_t>(s.row) * s.stride] = 0;
    }
    for (size_t o = s.o; o < s.o_end; ++o)
      store(p, s, static_cast<int32_t>(s.col + (v.others[o].first - s.k)), v.others[o].second);
  }
  rows.clear();
}

// Places v's first `count` values, p's storage being T and holding them.
template <typename T>
void put(itsolv::Problem& p, const CompactValues& v, int64_t first, int64_t count) {
  const itsolv::RowRange held = p.a.held();
  const bool wide = !v.wide.empty();
  std::vector<RowStretch<T>> rows;
  size_t o = 0;  // the first of v.others not yet placed
  each_stretch(first, count, p.num, [&](int64_t k, const TokenPlace& at, int32_t stop) {
    const auto value = [&](int32_t col) {
      const size_t i = static_cast<size_t>(k + col - at.col);
      return wide ? v.wide[i] : static_cast<float>(v.small[i]);
    };
    // The values kept aside in this stretch: their columns are stored last.
    const int64_t k_end = k + (stop - at.col);
    while (o < v.others.size() && v.others[o].first < k) ++o;
    size_t o_end = o;
    while (o_end < v.others.size() && v.others[o_end].first < k_end) ++o_end;
    const auto aside = [&](const auto& put_value) {
      for (; o < o_end; ++o) put_value(static_cast<int32_t>(at.col + (v.others[o].first - k)), v.others[o].second);
    };
    if (at.kind == TokenPlace::Kind::start) {
      for (int32_t c = at.col; c < stop; ++c) p.x[c] = value(c);
      aside([&](int32_t c, float x) { p.x[c] = x; });
      return;
    }
    const int32_t row = at.row;
    if (!held.contains(row)) return;
    if (at.kind == TokenPlace::Kind::rhs) {
      p.b[row] = value(at.col);
      aside([&](int32_t, float b) { p.b[row] = b; });
      return;
    }
    const size_t stride = static_cast<size_t>(p.a.panel_height((row - held.begin) / itsolv::Matrix::kPanel));
    const RowStretch<T> s{row, at.col, stop, k, o, o_end, p.a.row_base<T>(row), stride};
    o = o_end;
    if (wide) {
      for (int32_t c = at.col; c < stop; ++c) store(p, s, c, value(c));
      return;
    }
    rows.push_back(s);
    if (rows.size() == kRowsAtOnce) flush(p, v, rows);
  });
  flush(p, v, rows);
}

}  // namespace

float CompactValues::at(int64_t k) const {
  if (!wide.empty()) return wide[static_cast<size_t>(k)];
  const auto aside = std::lower_bound(others.begin(), others.end(), k,
                                      [](const std::pair<uint32_t, float>& o, int64_t i) { return o.first < i; });
  if (aside != others.end() && aside->first == k) return aside->second;
  return small[static_cast<size_t>(k)];
}

int64_t read_compact(const char* text, int64_t count, itsolv::Isa isa, CompactValues& v, const char*& bad_begin,
                     const char*& bad_end) {
  const itsolv::ShortBlockReader reader = itsolv::isa_table(isa).short_reader;
  v = CompactValues{};
  v.small.resize(static_cast<size_t>(count) + itsolv::kBlockValues);
  const char* q = text;
  int64_t k = 0, bad = -1;
  itsolv::Backoff shorts;  // as the loader's placing
  while (k < count) {
    if (reader != nullptr && shorts.due()) {
      const int32_t got =
          itsolv::read_short_tokens(reader, q, static_cast<int32_t>(std::min<int64_t>(count - k, kRun)), &v.small[k]);
      shorts.took(got);
      k += got;
      if (k == count) break;
    }
    while (itsolv::is_space(*q)) ++q;
    float value = 0.0f;
    const char* const end = itsolv::read_number(q, value);
    if (end == nullptr) {
      bad = k;
      bad_begin = bad_end = q;
      while (!itsolv::is_space(*bad_end)) ++bad_end;
      break;
    }
    q = end;
    if (itsolv::storage_for(value) == Storage::i8) {
      v.small[static_cast<size_t>(k)] = static_cast<int8_t>(value);
    } else {
      v.small[static_cast<size_t>(k)] = 0;
      v.others.emplace_back(static_cast<uint32_t>(k), value);
    }
    ++k;
  }
  v.count = k;
  // A float kept aside takes eight bytes, and one in the byte form nine.
  if (v.others.size() > static_cast<size_t>(k / 8)) widen_all(v);
  return bad;
}

void place_compact(itsolv::Problem& p, const CompactValues& v, int64_t first, int64_t end) {
  const int64_t count = std::min(first + v.count, end) - first;
  if (count <= 0) return;
  if (p.a.storage() != Storage::f32) {
    const Storage need = storage_needed(p, v, first, count);
    if (need > p.a.storage() && !p.a.widen(need, itsolv::rows_reached(first + count, p.num)))
      itsolv::fail("Cannot allocate a!\n");
  }
  switch (p.a.storage()) {
    case Storage::i8:
      return put<int8_t>(p, v, first, count);
    case Storage::i16:
      return put<int16_t>(p, v, first, count);
    default:
      return put<float>(p, v, first, count);
  }
}

void copy_values(const CompactValues& v, int64_t from, int64_t to, std::vector<float>& out) {
  const size_t at = out.size();
  if (!v.wide.empty()) {
    out.insert(out.end(), v.wide.begin() + from, v.wide.begin() + to);
    return;
  }
  out.insert(out.end(), v.small.begin() + from, v.small.begin() + to);
  for (const auto& [k, value] : v.others)
    if (k >= from && k < to) out[at + static_cast<size_t>(k - from)] = value;
}

}  // namespace itsolv_mpi

#include "load/token_place.hpp"

#include <algorithm>

namespace itsolv {

TokenPlace place_of(int64_t t, int32_t n) {
  if (t == 0) return {TokenPlace::Kind::count};
  if (t == 1) return {TokenPlace::Kind::tolerance};
  const int64_t v = t - kHeaderTokens;
  if (v < n) return {TokenPlace::Kind::start, 0, static_cast<int32_t>(v)};
  const int64_t u = v - n;
  const auto row = static_cast<int32_t>(u / (int64_t{n} + 1));
  const auto col = static_cast<int32_t>(u % (int64_t{n} + 1));
  return {col == n ? TokenPlace::Kind::rhs : TokenPlace::Kind::coefficient, row, col};
}

int32_t rows_reached(int64_t end, int32_t n) {
  const TokenPlace last = place_of(end - 1, n);
  const bool in_rows = last.kind == TokenPlace::Kind::coefficient || last.kind == TokenPlace::Kind::rhs;
  return in_rows ? last.row + 1 : 0;
}

RowRange held_rows_of(const Problem& p, int64_t t, int64_t end) {
  const RowRange held = p.a.held();
  const int64_t rows_first = row_token(p.num, 0);
  const int64_t first = std::max(t, rows_first) - rows_first;
  RowRange rows{std::max(held.begin, static_cast<int32_t>(std::min<int64_t>(first / (int64_t{p.num} + 1), held.end))),
                std::min(held.end, rows_reached(end, p.num))};
  if (end <= t || rows.end < rows.begin) rows.end = rows.begin;
  return rows;
}

}  // namespace itsolv

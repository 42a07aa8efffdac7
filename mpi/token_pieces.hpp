// The token indices that a process of an MPI job holds, and where a run of
// them lies in a text: what loading hands from one process to another.
#pragma once

#include <algorithm>
#include <cstdint>

#include "base/row_range.hpp"
#include "load/token_place.hpp"
#include "parse/white_space.hpp"

namespace itsolv_mpi {

using itsolv::is_space;

// Token indices [begin, end) of the file.
struct Tokens {
  int64_t begin, end;
  Tokens meet(Tokens o) const {
    const int64_t from = std::max(begin, o.begin);
    return {from, std::max(from, std::min(end, o.end))};
  }
  int64_t size() const { return end - begin; }
};

// The starting values' tokens.
inline Tokens start_tokens(int32_t n) { return {itsolv::kHeaderTokens, itsolv::row_token(n, 0)}; }

// The tokens of block k's rows (coefficients and right-hand sides).
inline Tokens block_tokens(int32_t n, int blocks, int k) {
  const itsolv::RowRange rows = itsolv::split(n, blocks, k);
  return {itsolv::row_token(n, rows.begin), itsolv::row_token(n, rows.end)};
}

// The start of token i of the `tokens` tokens of [begin, end), which starts
// after white space; `end` for i == tokens. Scans from the nearer end.
inline const char* token_start(const char* begin, const char* end, int64_t i, int64_t tokens) {
  if (i >= tokens) return end;
  if (i < tokens / 2) {
    int64_t seen = -1;
    for (const char* q = begin; q != end; ++q)
      if (!is_space(*q) && (q == begin || is_space(q[-1])) && ++seen == i) return q;
    return end;
  }
  int64_t after = tokens - i;  // token starts at or after the one sought
  for (const char* q = end; q != begin;) {
    --q;
    if (!is_space(*q) && (q == begin || is_space(q[-1])) && --after == 0) return q;
  }
  return begin;
}

}  // namespace itsolv_mpi

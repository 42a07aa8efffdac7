// Loading: what token t of a file of n variables is. A token's place
// follows from its index alone; the layout is written here and nowhere
// else.
#pragma once

#include <cstdint>

#include "base/row_range.hpp"
#include "matrix/problem.hpp"

namespace itsolv {

// What token t of a file of n variables is.
struct TokenPlace {
  enum class Kind { count, tolerance, start, coefficient, rhs };
  Kind kind;
  int32_t row = 0;  // of a coefficient or right-hand side
  int32_t col = 0;  // of a coefficient; the index of a starting value
};
TokenPlace place_of(int64_t t, int32_t n);

// Tokens 0 and 1 are the count and the tolerance, the n starting values
// follow, then each row: its n coefficients and its right-hand side.
inline constexpr int64_t kHeaderTokens = 2;

// The index of a[row][col] (of b[row] for col == n; of the first token after
// the rows for row == n).
inline int64_t row_token(int32_t n, int32_t row, int32_t col = 0) {
  return kHeaderTokens + n + int64_t{row} * (int64_t{n} + 1) + col;
}

// The tokens of a panel's rows.
inline int64_t panel_tokens(int32_t n) { return row_token(n, Matrix::kPanel) - row_token(n, 0); }

// The rows that the tokens before index `end` reach: the rows up to and
// including the one that holds token end - 1.
int32_t rows_reached(int64_t end, int32_t n);

// The rows held by p whose values are among tokens [t, end) (empty when
// none).
RowRange held_rows_of(const Problem& p, int64_t t, int64_t end);

}  // namespace itsolv

// Loading: the matrix's memory committed ahead of the stores into it.
#pragma once

#include <atomic>
#include <cstddef>

#include "matrix/matrix.hpp"
#include "matrix/row_range.hpp"

namespace itsolv {

// The memory of the matrix's panels that hold rows [begin, end), committed
// in pieces that the team takes among the parts it places. The system
// zeroes every page it hands out, which costs about as much as reading the
// file: taken as items, that work is shared evenly, rather than falling on
// whichever member first stores into a page while the others wait for it.
// Only the rows the chunk reaches are committed, so that a stream that
// ends long before its count is reached takes little memory.
class MatrixCommit {
 public:
  MatrixCommit(Matrix& a, RowRange rows);
  size_t pieces() const { return (bytes_ + kPiece - 1) / kPiece; }
  // Commits piece k (any member).
  void commit(size_t k) const;
  // Once the pieces are done: refuses a matrix that memory could not hold.
  void check() const;

 private:
  static constexpr size_t kPage = 4096;
  static constexpr size_t kPiece = size_t{2} << 20;
  char* begin_ = nullptr;
  size_t bytes_ = 0;
  mutable std::atomic<bool> refused_{false};
};

}  // namespace itsolv

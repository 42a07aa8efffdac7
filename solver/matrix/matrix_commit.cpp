#include "matrix/matrix_commit.hpp"

#include <sys/mman.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>

#include "base/failure.hpp"

namespace itsolv {

MatrixCommit::MatrixCommit(Matrix& a, RowRange rows) {
  if (rows.size() <= 0) return;
  const size_t bytes = storage_bytes(a.storage());
  const int32_t p0 = (rows.begin - a.first_row()) / Matrix::kPanel;
  const int32_t p1 = (rows.end - 1 - a.first_row()) / Matrix::kPanel + 1;
  const uintptr_t from = reinterpret_cast<uintptr_t>(a.data<char>() + a.panel_offset(p0) * bytes) & ~(kPage - 1);
  const uintptr_t to = reinterpret_cast<uintptr_t>(a.data<char>() + std::min(a.panel_offset(p1), a.elements()) * bytes);
  begin_ = reinterpret_cast<char*>(from);
  bytes_ = to - from;
}

void MatrixCommit::commit(size_t k) const {
  char* const piece = begin_ + k * kPiece;
  const size_t length = std::min(kPiece, bytes_ - k * kPiece);
  if (madvise(piece, length, MADV_POPULATE_WRITE) == 0) return;
  if (errno != EINVAL) {  // EINVAL: a system without it, where touching does the same
    refused_.store(true, std::memory_order_relaxed);
    return;
  }
  for (size_t i = 0; i < length; i += kPage) static_cast<volatile char*>(piece)[i] = 0;
}

void MatrixCommit::check() const {
  if (refused_.load(std::memory_order_relaxed)) fail("Cannot allocate a!\n");
}

}  // namespace itsolv

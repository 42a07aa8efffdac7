#include "matrix/matrix_commit.hpp"

#include <sys/mman.h>

#include <cerrno>
#include <cstdint>

namespace itsolv {

namespace {

constexpr uintptr_t kPage = 4096;

bool commit_bytes(uintptr_t from, uintptr_t to) {
  from &= ~(kPage - 1);
  if (madvise(reinterpret_cast<void*>(from), to - from, MADV_POPULATE_WRITE) == 0) return true;
  if (errno != EINVAL) return false;  // EINVAL: a system without it, where touching does the same
  // Another member may be storing into a shared page: the touch keeps what
  // is there.
  for (uintptr_t page = from; page < to; page += kPage)
    __atomic_fetch_add(reinterpret_cast<char*>(page), char{0}, __ATOMIC_RELAXED);
  return true;
}

}  // namespace

bool commit_block(Matrix& a, RowRange rows, RowRange columns) {
  if (rows.size() <= 0 || columns.size() <= 0) return true;
  const size_t bytes = storage_bytes(a.storage());
  const int32_t p0 = (rows.begin - a.first_row()) / Matrix::kPanel;
  const int32_t p1 = (rows.end - 1 - a.first_row()) / Matrix::kPanel + 1;
  // A panel keeps each column's rows side by side: a block of columns is
  // one stretch of it.
  for (int32_t p = p0; p < p1; ++p) {
    const size_t height = static_cast<size_t>(a.panel_height(p));
    char* const panel = a.data<char>() + a.panel_offset(p) * bytes;
    const auto from = reinterpret_cast<uintptr_t>(panel + static_cast<size_t>(columns.begin) * height * bytes);
    const auto to = reinterpret_cast<uintptr_t>(panel + static_cast<size_t>(columns.end) * height * bytes);
    if (!commit_bytes(from, to)) return false;
  }
  return true;
}

}  // namespace itsolv

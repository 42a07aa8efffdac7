#include "matrix/matrix_commit.hpp"

#include <sys/mman.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>

namespace itsolv {

bool commit_rows(Matrix& a, RowRange rows) {
  constexpr uintptr_t kPage = 4096;
  if (rows.size() <= 0) return true;
  const size_t bytes = storage_bytes(a.storage());
  const int32_t p0 = (rows.begin - a.first_row()) / Matrix::kPanel;
  const int32_t p1 = (rows.end - 1 - a.first_row()) / Matrix::kPanel + 1;
  const uintptr_t from = reinterpret_cast<uintptr_t>(a.data<char>() + a.panel_offset(p0) * bytes) & ~(kPage - 1);
  const uintptr_t to = reinterpret_cast<uintptr_t>(a.data<char>() + std::min(a.panel_offset(p1), a.elements()) * bytes);
  if (madvise(reinterpret_cast<void*>(from), to - from, MADV_POPULATE_WRITE) == 0) return true;
  if (errno != EINVAL) return false;  // EINVAL: a system without it, where touching does the same
  // Another member may be storing into a shared page: the touch keeps what
  // is there.
  for (uintptr_t page = from; page < to; page += kPage)
    __atomic_fetch_add(reinterpret_cast<char*>(page), char{0}, __ATOMIC_RELAXED);
  return true;
}

}  // namespace itsolv

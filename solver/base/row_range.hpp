// Contiguous ranges of rows (or of the panels that hold them), and the one
// way this program splits a count into parts: part k of K parts of `count`
// items starts at count * k / K. The blocks of rows that the processes of an
// MPI job hold are such parts, as are the parts of a text that the team
// counts and the byte ranges that those processes read; the members of a
// thread team instead take runs of panels from a shared counter as they come
// (team.hpp).
#pragma once

#include <cstdint>

namespace itsolv {

// The half-open range [begin, end).
struct RowRange {
  int32_t begin = 0;
  int32_t end = 0;

  int32_t size() const { return end - begin; }
  bool contains(int32_t i) const { return i >= begin && i < end; }
};

// Where part k of `parts` contiguous parts of [0, count) starts, as equal
// as can be (count * k must fit T); and the part as a range of rows.
template <typename T>
constexpr T split_point(T count, T parts, T k) {
  return count * k / parts;
}
inline RowRange split(int32_t count, int parts, int k) {
  return {static_cast<int32_t>(split_point<int64_t>(count, parts, k)),
          static_cast<int32_t>(split_point<int64_t>(count, parts, k + 1))};
}

}  // namespace itsolv

// Moving a group of staged rows into a panel's column lines (see
// row_stage.hpp): each instruction set transposes rows in its vector
// registers and stores a column's rows of the group at once.
#pragma once

#include <cstddef>
#include <cstdint>

namespace itsolv {

// Moves columns [0, n) of a group of staged rows, rows[s] the values of the
// group's row s from its first column on, into the panel: row s of column c
// goes to dst[c * stride + s]. A mover that keeps only some rows writes
// just those whose bit is set in `keep` (the others' pointers are still
// readable for n values); the others take every row.
template <typename T>
using LineMove = void (*)(const T* const* rows, T* dst, size_t stride, int32_t n, uint64_t keep);

struct LineMover {
  int32_t bytes = 0;      // of a column's line a group writes: its rows are bytes / sizeof(T)
  bool any_rows = false;  // keeps only the rows asked for, wherever they are in the group
  LineMove<int8_t> i8 = nullptr;
  LineMove<int16_t> i16 = nullptr;
  LineMove<float> f32 = nullptr;  // null: not for this storage

  template <typename T>
  LineMove<T> get() const {
    if constexpr (sizeof(T) == 1)
      return i8;
    else if constexpr (sizeof(T) == 2)
      return i16;
    else
      return f32;
  }
};

// An instruction set's movers, widest first; one with no bytes ends them.
struct LineMovers {
  LineMover tier[3];
};

// Sixteen and eight bytes a line with SSE2, which every x86-64 machine has.
LineMover line_mover_sse2_16();
LineMover line_mover_sse2_8();
// Thirty-two bytes with AVX2; whole 64-byte lines with AVX-512 (BW), any
// rows of a band at once.
LineMover line_mover_avx2();
LineMover line_mover_avx512();

}  // namespace itsolv

// Moving a group of staged rows into a panel's column lines (see
// row_stage.hpp): each instruction set transposes rows in its vector
// registers and stores a column's rows of the group at once.
#pragma once

#include <cstddef>
#include <cstdint>

namespace itsolv {

// Moves columns [0, n) of a group of staged rows, rows[s] the values of the
// group's row s from its first column on, into the panel: row s of column c
// goes to dst[c * stride + s], for the rows whose bit is set in `keep`;
// the others' values stay as they are (their pointers are still readable
// for n values). The group's lines are those of the item being moved, no
// other member's (see StagedBands).
template <typename T>
using LineMove = void (*)(const T* const* rows, T* dst, size_t stride, int32_t n, uint64_t keep);

struct LineMover {
  int32_t bytes = 0;    // of a column's line a group writes: its rows are bytes / sizeof(T)
  bool masked = false;  // writes only the kept rows' bytes: a group may reach past its panel's rows
  LineMove<int8_t> i8 = nullptr;
  LineMove<int16_t> i16 = nullptr;
  LineMove<float> f32 = nullptr;

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
// A mover that is not masked writes rows it does not keep back as they
// were, whole vectors, so it takes only groups within their panel's rows;
// the last, sixteen bytes, fits every panel (its height is a multiple of
// sixteen rows).
struct LineMovers {
  LineMover tier[2];
};

// Sixteen bytes a line with SSE2, which every x86-64 machine has;
// thirty-two with AVX2; whole 64-byte lines with AVX-512 (BW), masked.
LineMover line_mover_sse2();
LineMover line_mover_avx2();
LineMover line_mover_avx512();

}  // namespace itsolv

// Loading, stage 4b: coefficients held in token order while a chunk of text
// is placed, then moved into the matrix's panels.
//
// A panel keeps each column's rows side by side, so a row placed straight
// into it puts one value into every column's cache line: a store that misses
// the cache for each coefficient. Staged, a row's values lie side by side as
// the text has them; moving them afterwards writes a group of rows (up to a
// whole 64-byte line, see line_moves.hpp) into each column line at once,
// one band of rows per team member.
#pragma once

#include <algorithm>
#include <cstdint>

#include "base/buffer.hpp"
#include "base/isa.hpp"
#include "matrix/problem.hpp"

namespace itsolv {

class RowStage {
 public:
  // Room for the values of tokens [first, end) in `storage`; false when
  // memory cannot be had. The memory is kept for the next chunk.
  bool prepare(Storage storage, int64_t first, int64_t end);
  // Gives the memory back.
  void release() { memory_.release(); }

  Storage storage() const { return storage_; }
  int64_t first() const { return first_; }
  int64_t end() const { return end_; }

  // The place of token t's value.
  template <typename T>
  T* at(int64_t t) {
    return static_cast<T*>(memory_.data()) + (t - first_);
  }
  template <typename T>
  const T* at(int64_t t) const {
    return static_cast<const T*>(memory_.data()) + (t - first_);
  }

 private:
  RawMemory memory_;
  Storage storage_ = Storage::i8;
  int64_t first_ = 0;
  int64_t end_ = 0;
};

// The rows of p's matrix whose coefficients the staged tokens reach, in
// bands that share no cache line of the matrix (a panel's rows, in int8;
// the rows of one line of each column, in wider storage): rows
// [begin, end), band k being those of them in [origin + (first + k) *
// height, origin + (first + k + 1) * height). Each band is moved in
// `blocks` blocks of columns, which share no cache line either: the items
// that members take, small enough that they end close together.
struct StagedBands {
  int32_t begin = 0;
  int32_t end = 0;
  int32_t origin = 0;  // the first row held
  int32_t height = 1;
  int32_t first = 0;  // band of row `begin`
  int32_t blocks = 1;
  size_t count() const {
    return begin >= end ? 0
                        : static_cast<size_t>((end - 1 - origin) / height - first + 1) * static_cast<size_t>(blocks);
  }
  // The rows of band k, counted from the first.
  RowRange rows(size_t k) const {
    const int32_t band = first + static_cast<int32_t>(k);
    return {std::max(begin, origin + band * height), std::min(end, origin + (band + 1) * height)};
  }
  // The columns of item k, of n.
  RowRange columns(size_t k, int32_t n) const {
    const auto block = static_cast<int64_t>(k % static_cast<size_t>(blocks));
    return {static_cast<int32_t>(n * block / blocks), static_cast<int32_t>(n * (block + 1) / blocks)};
  }
};
// Blocks of about `columns` columns.
StagedBands staged_bands(const Problem& p, const RowStage& stage, int32_t columns);

// Moves item k (a block of a band) of the staged coefficients into p.a
// (the diagonal's place stays zero) with the movers of `isa`. The stage's
// storage is p.a's.
void move_staged_band(Problem& p, const RowStage& stage, const StagedBands& bands, size_t k, Isa isa);

}  // namespace itsolv

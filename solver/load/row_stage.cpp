#include "load/row_stage.hpp"

#include <algorithm>

#include "kernels/isa_table.hpp"
#include "load/token_place.hpp"
#include "parse/short_tokens.hpp"

namespace itsolv {

bool RowStage::prepare(Storage storage, int64_t first, int64_t end) {
  size_t bytes = 0;
  // The vector reader may store a block's values at once.
  if (!byte_size(static_cast<uint64_t>(end - first) + kBlockValues, storage_bytes(storage), bytes)) return false;
  if (bytes > memory_.bytes() && !memory_.grow(std::max(bytes, memory_.bytes() * 3 / 2))) return false;
  storage_ = storage;
  first_ = first;
  end_ = end;
  return true;
}

StagedBands staged_bands(const Problem& p, const RowStage& stage, int32_t columns) {
  StagedBands bands;
  const RowRange held = p.a.held();
  bands.origin = held.begin;
  bands.height = Matrix::kPanel / static_cast<int32_t>(storage_bytes(stage.storage()));
  const RowRange rows = held_rows_of(p, stage.first(), stage.end());
  bands.begin = rows.begin;
  bands.end = rows.end;
  bands.first = bands.begin >= bands.end ? 0 : (bands.begin - held.begin) / bands.height;
  bands.blocks = std::max<int32_t>(1, p.num / std::max<int32_t>(columns, 1));
  return bands;
}

namespace {

// Columns [c0, c1) of rows [begin, end) of one band: a row that the stage
// holds only in part (its first and last) one value at a time, the others
// in groups of rows side by side, through the widest mover that fits the
// group; a group's rows outside [begin, end) are left as they are.
template <typename T>
class BandMove {
 public:
  BandMove(Problem& p, const RowStage& stage, const LineMovers& movers, int32_t c0, int32_t c1)
      : p_(p), stage_(stage), movers_(movers), c0_(c0), c1_(c1) {}

  void run(int32_t begin, int32_t end) {
    while (begin < end && !whole(begin)) move_row(begin++);
    while (end > begin && !whole(end - 1)) move_row(--end);
    for (int32_t row = begin; row < end;) row = move_group(row, end);
  }

 private:
  int64_t token(int32_t row, int32_t col) const { return row_token(p_.num, row, col); }
  // Whether the stage holds every column of the row.
  bool whole(int32_t row) const { return stage_.first() <= token(row, c0_) && token(row, c1_) <= stage_.end(); }

  void move_row(int32_t row) {
    const int32_t lo = static_cast<int32_t>(std::clamp<int64_t>(stage_.first() - token(row, 0), c0_, c1_));
    const int32_t hi = static_cast<int32_t>(std::clamp<int64_t>(stage_.end() - token(row, 0), c0_, c1_));
    const size_t stride = p_.a.row_stride(row);
    T* const base = p_.a.row_base<T>(row);
    const T* const values = stage_.at<T>(token(row, 0));
    for (int32_t c = lo; c < hi; ++c) base[static_cast<size_t>(c) * stride] = c == row ? T{0} : values[c];
  }

  // Moves whole rows from `row` on, short of `end`, in one group; gives the
  // row after them.
  int32_t move_group(int32_t row, int32_t end) {
    const int32_t held = p_.a.held().begin;
    for (const LineMover& m : movers_.tier) {
      const LineMove<T> move = m.get<T>();
      if (move == nullptr) continue;
      const int32_t height = m.bytes / static_cast<int32_t>(sizeof(T));
      const int32_t first = row - (row - held) % height, stop = std::min(end, first + height);
      const size_t stride = p_.a.row_stride(row);
      if (!m.masked && static_cast<size_t>((first - held) % Matrix::kPanel + height) > stride) continue;
      const T* rows[64];
      uint64_t keep = 0;
      for (int32_t s = 0; s < height; ++s) {
        const bool in = first + s >= row && first + s < stop;
        rows[s] = stage_.at<T>(token(in ? first + s : row, c0_));
        keep |= uint64_t{in} << s;
      }
      move(rows, p_.a.row_base<T>(first) + static_cast<size_t>(c0_) * stride, stride, c1_ - c0_, keep);
      for (int32_t r = std::max(row, c0_); r < std::min(stop, c1_); ++r)
        p_.a.row_base<T>(r)[static_cast<size_t>(r) * stride] = 0;
      return stop;
    }
    move_row(row);
    return row + 1;
  }

  Problem& p_;
  const RowStage& stage_;
  const LineMovers& movers_;
  const int32_t c0_, c1_;
};

}  // namespace

void move_staged_band(Problem& p, const RowStage& stage, const StagedBands& bands, size_t k, Isa isa) {
  const RowRange rows = bands.rows(k / static_cast<size_t>(bands.blocks));
  const RowRange cols = bands.columns(k, p.num);
  const LineMovers& movers = isa_table(isa).line_movers;
  by_storage(stage.storage(),
             [&](auto t) { BandMove<decltype(t)>(p, stage, movers, cols.begin, cols.end).run(rows.begin, rows.end); });
}

}  // namespace itsolv

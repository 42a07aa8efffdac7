#include "load/row_stage.hpp"

#include <emmintrin.h>
#include <xmmintrin.h>

#include <algorithm>

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

// The columns from c on, one value at a time, of G rows side by side.
template <int G, typename T>
void move_rest(const T* const* rows, T* dst, size_t stride, int32_t c, int32_t n) {
  for (; c < n; ++c)
    for (int r = 0; r < G; ++r) dst[static_cast<size_t>(c) * stride + static_cast<size_t>(r)] = rows[r][c];
}

// Eight bytes of each of `count` registers, two columns a register: its
// low half at out, its high half one column later; the next register two
// columns on.
template <typename T>
void store_pairs(T* out, size_t stride, const __m128i* d, int count) {
  for (int k = 0; k < count; ++k, out += 2 * stride) {
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out), d[k]);
    _mm_storeh_pd(reinterpret_cast<double*>(out + stride), _mm_castsi128_pd(d[k]));
  }
}

// Eight rows of int8 (four of int16) side by side in each column: sixteen
// columns (eight) at a time, transposed with the byte and word
// interleaves of SSE2, which every x86-64 machine has.
void move_group(const int8_t* const* rows, int8_t* dst, size_t stride, int32_t n) {
  int32_t c = 0;
  for (; c + 16 <= n; c += 16) {
    __m128i a[8], b[8], d[8];
    for (int r = 0; r < 8; ++r) a[r] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(rows[r] + c));
    for (int r = 0; r < 8; r += 2) {
      b[r] = _mm_unpacklo_epi8(a[r], a[r + 1]);  // columns 0-7, rows r and r + 1
      b[r + 1] = _mm_unpackhi_epi8(a[r], a[r + 1]);
    }
    // Four rows of columns 0-3, 4-7, 8-11, 12-15, for rows 0-3 and 4-7.
    const __m128i q[8] = {_mm_unpacklo_epi16(b[0], b[2]), _mm_unpackhi_epi16(b[0], b[2]),
                          _mm_unpacklo_epi16(b[1], b[3]), _mm_unpackhi_epi16(b[1], b[3]),
                          _mm_unpacklo_epi16(b[4], b[6]), _mm_unpackhi_epi16(b[4], b[6]),
                          _mm_unpacklo_epi16(b[5], b[7]), _mm_unpackhi_epi16(b[5], b[7])};
    for (int k = 0; k < 4; ++k) {
      d[2 * k] = _mm_unpacklo_epi32(q[k], q[k + 4]);  // columns 4k, 4k + 1
      d[2 * k + 1] = _mm_unpackhi_epi32(q[k], q[k + 4]);
    }
    store_pairs(dst + static_cast<size_t>(c) * stride, stride, d, 8);
  }
  move_rest<8>(rows, dst, stride, c, n);
}

void move_group(const int16_t* const* rows, int16_t* dst, size_t stride, int32_t n) {
  int32_t c = 0;
  for (; c + 8 <= n; c += 8) {
    __m128i a[4];
    for (int r = 0; r < 4; ++r) a[r] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(rows[r] + c));
    const __m128i b[4] = {_mm_unpacklo_epi16(a[0], a[1]), _mm_unpackhi_epi16(a[0], a[1]),
                          _mm_unpacklo_epi16(a[2], a[3]), _mm_unpackhi_epi16(a[2], a[3])};
    const __m128i d[4] = {_mm_unpacklo_epi32(b[0], b[2]), _mm_unpackhi_epi32(b[0], b[2]),
                          _mm_unpacklo_epi32(b[1], b[3]), _mm_unpackhi_epi32(b[1], b[3])};
    store_pairs(dst + static_cast<size_t>(c) * stride, stride, d, 4);
  }
  move_rest<4>(rows, dst, stride, c, n);
}

// Four rows of floats side by side in each column: four columns at a
// time, transposed in SSE registers, sixteen bytes a column line.
void move_group(const float* const* rows, float* dst, size_t stride, int32_t n) {
  int32_t c = 0;
  for (; c + 4 <= n; c += 4) {
    __m128 a = _mm_loadu_ps(rows[0] + c), b = _mm_loadu_ps(rows[1] + c);
    __m128 d = _mm_loadu_ps(rows[2] + c), e = _mm_loadu_ps(rows[3] + c);
    _MM_TRANSPOSE4_PS(a, b, d, e);
    float* out = dst + static_cast<size_t>(c) * stride;
    _mm_storeu_ps(out, a);
    _mm_storeu_ps(out + stride, b);
    _mm_storeu_ps(out + 2 * stride, d);
    _mm_storeu_ps(out + 3 * stride, e);
  }
  move_rest<4>(rows, dst, stride, c, n);
}

// Columns [c0, c1) of rows [begin, end) of one band.
template <typename T>
void move_band(Problem& p, const RowStage& stage, int32_t begin, int32_t end, int32_t c0, int32_t c1) {
  // Rows moved together: eight bytes a column for integers, sixteen for
  // floats.
  constexpr int32_t kGroup = sizeof(T) == 4 ? 4 : 8 / sizeof(T);
  const int32_t n = p.num;
  auto token = [&](int32_t row, int32_t col) { return row_token(n, row, col); };
  // The staged columns of a row: all of them but in the stage's first and
  // last rows.
  auto cols = [&](int32_t row, int32_t& lo, int32_t& hi) {
    lo = static_cast<int32_t>(std::clamp<int64_t>(stage.first() - token(row, 0), c0, c1));
    hi = static_cast<int32_t>(std::clamp<int64_t>(stage.end() - token(row, 0), c0, c1));
  };
  const RowRange held = p.a.held();
  for (int32_t row = begin; row < end;) {
    const size_t stride = p.a.row_stride(row);
    int32_t lo = 0, hi = 0;
    cols(row, lo, hi);
    int32_t last_lo = 0, last_hi = 0;
    if (row + kGroup <= end) cols(row + kGroup - 1, last_lo, last_hi);
    if ((row - held.begin) % kGroup == 0 && row + kGroup <= end && lo == c0 && last_hi == c1) {
      const T* rows[kGroup];
      for (int32_t r = 0; r < kGroup; ++r) rows[r] = stage.at<T>(token(row + r, c0));
      move_group(rows, p.a.row_base<T>(row) + static_cast<size_t>(c0) * stride, stride, c1 - c0);
      for (int32_t r = std::max(row, c0); r < std::min(row + kGroup, c1); ++r)
        p.a.row_base<T>(r)[static_cast<size_t>(r) * stride] = 0;
      row += kGroup;
      continue;
    }
    T* const base = p.a.row_base<T>(row);
    const T* const values = stage.at<T>(token(row, 0));
    for (int32_t c = lo; c < hi; ++c) base[static_cast<size_t>(c) * stride] = c == row ? T{0} : values[c];
    ++row;
  }
}

}  // namespace

void move_staged_band(Problem& p, const RowStage& stage, const StagedBands& bands, size_t k) {
  const RowRange rows = bands.rows(k / static_cast<size_t>(bands.blocks));
  const RowRange cols = bands.columns(k, p.num);
  by_storage(stage.storage(),
             [&](auto t) { move_band<decltype(t)>(p, stage, rows.begin, rows.end, cols.begin, cols.end); });
}

}  // namespace itsolv

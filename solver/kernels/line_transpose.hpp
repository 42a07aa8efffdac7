// The transposition of staged rows into column lines, written once for
// every vector width: included under an instruction set's target.
//
// A vector holds `V::kBytes / 16` lanes of 16 bytes, K = 16 / sizeof(T)
// values each. Lane L of vector j holds row L * K + j of K columns; log2(K)
// rounds of the lanes' interleaves of vectors i and i + K / 2 each turn the
// bits of (vector, value) one place, so that after them vector k holds
// column k, lane L its rows L * K ... L * K + K - 1: the group's rows of
// that column, in order, as the panel line has them.
#pragma once

#include <cstddef>
#include <cstdint>

namespace itsolv {

// V gives Vec, kBytes, lo<E>/hi<E> (interleaves of E-byte values within
// lanes), load(rows, step, c) (lane L from rows[L * step] + c), store(dst,
// v) of a whole vector, and, for groups of which only some rows are kept,
// Kept (made from the bits of the rows kept) and store(dst, v, kept), which
// leaves the other rows' values as they are.
template <typename V, typename T, bool kAll>
void transpose_lines(const T* const* rows, T* dst, size_t stride, int32_t n, uint64_t keep, typename V::Kept kept) {
  constexpr int K = 16 / static_cast<int>(sizeof(T));
  constexpr int G = V::kBytes / static_cast<int>(sizeof(T));
  int32_t c = 0;
  for (; c + K <= n; c += K) {
    // Each row reaches a new line of the stage every four steps: a quarter
    // of the rows ask for theirs four lines ahead at each step, as the
    // hardware follows fewer streams than a group has rows.
    for (int s = c / K % 4 * G / 4; s < (c / K % 4 + 1) * G / 4; ++s)
      __builtin_prefetch(reinterpret_cast<const char*>(rows[s] + c) + 256);
    typename V::Vec x[K], y[K];
    for (int j = 0; j < K; ++j) x[j] = V::load(rows + j, K, c);
    for (int round = 1; round < K; round *= 2) {
      for (int i = 0; i < K / 2; ++i) {
        y[2 * i] = V::template lo<sizeof(T)>(x[i], x[i + K / 2]);
        y[2 * i + 1] = V::template hi<sizeof(T)>(x[i], x[i + K / 2]);
      }
      for (int j = 0; j < K; ++j) x[j] = y[j];
    }
    for (int k = 0; k < K; ++k) {
      T* const out = dst + static_cast<size_t>(c + k) * stride;
      if constexpr (kAll)
        V::store(out, x[k]);
      else
        V::store(out, x[k], kept);
    }
  }
  for (; c < n; ++c)
    for (int s = 0; s < G; ++s)
      if (keep >> s & 1) dst[static_cast<size_t>(c) * stride + static_cast<size_t>(s)] = rows[s][c];
}

// A LineMove (line_moves.hpp) for V.
template <typename V, typename T>
void move_lines(const T* const* rows, T* dst, size_t stride, int32_t n, uint64_t keep) {
  constexpr int G = V::kBytes / static_cast<int>(sizeof(T));
  constexpr uint64_t all = G == 64 ? ~uint64_t{0} : (uint64_t{1} << G) - 1;
  if (keep == all)
    transpose_lines<V, T, true>(rows, dst, stride, n, keep, typename V::Kept());
  else
    transpose_lines<V, T, false>(rows, dst, stride, n, keep, V::template kept<T>(keep));
}

// The bytes of the kept rows' values all ones, the others zero: G rows of
// T in `bytes` bytes.
template <typename T, int kBytes>
struct KeptBytes {
  alignas(64) uint8_t b[kBytes];
  explicit KeptBytes(uint64_t keep) {
    for (int i = 0; i < kBytes; ++i) b[i] = (keep >> (i / static_cast<int>(sizeof(T))) & 1) ? 0xff : 0;
  }
};

}  // namespace itsolv

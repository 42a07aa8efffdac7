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
// lanes), load(rows, step, c) (lane L from rows[L * step] + c) and
// store(dst, v, keep).
template <typename V, typename T>
void move_lines(const T* const* rows, T* dst, size_t stride, int32_t n, uint64_t keep) {
  constexpr int K = 16 / static_cast<int>(sizeof(T));
  constexpr int G = V::kBytes / static_cast<int>(sizeof(T));
  int32_t c = 0;
  for (; c + K <= n; c += K) {
    typename V::Vec x[K], y[K];
    for (int j = 0; j < K; ++j) x[j] = V::load(rows + j, K, c);
    for (int round = 1; round < K; round *= 2) {
      for (int i = 0; i < K / 2; ++i) {
        y[2 * i] = V::template lo<sizeof(T)>(x[i], x[i + K / 2]);
        y[2 * i + 1] = V::template hi<sizeof(T)>(x[i], x[i + K / 2]);
      }
      for (int j = 0; j < K; ++j) x[j] = y[j];
    }
    for (int k = 0; k < K; ++k) V::store(dst + static_cast<size_t>(c + k) * stride, x[k], keep);
  }
  for (; c < n; ++c)
    for (int s = 0; s < G; ++s)
      if (keep >> s & 1) dst[static_cast<size_t>(c) * stride + static_cast<size_t>(s)] = rows[s][c];
}

}  // namespace itsolv

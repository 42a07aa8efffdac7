// The sweep kernel, written once for any vector instruction set.
//
// Included by each kernel file under its target pragma, after it has defined
// its Isa type:
//   Vec, kWidth                  the vector type and its lanes
//   zero(), broadcast(f)         vectors of 0 and of f
//   load(const T* p)             kWidth coefficients from p, as floats
//   mul(a, b), add(a, b)         a * b and a + b with a as first operand
//   keep_lane(sum, before, l)    sum, but lane l (if in 0 .. kWidth-1) from before
//   abs(v)                       v with every sign bit cleared, as fabs does
//   store(float* p, v)
// Products and sums take a fixed operand order: when both operands are NaN
// the result is the first one's, and a compiler may swap the operands of a
// plain + or *. The plain statement s = curr[j] * a[i][j] + s compiles as
// curr[j] * a[i][j] and s + product, so that is the order here.
#pragma once

#include <algorithm>
#include <type_traits>

#include "kernels/kernels.hpp"
#include "matrix/matrix.hpp"
#include "matrix/panel_height.hpp"

namespace itsolv {

// Asks for the cache lines kAhead bytes past the column at `col`, so that
// memory is read well ahead of the arithmetic instead of on demand (the
// hardware's own prefetch runs too short a way ahead of these sweeps). A
// panel's columns lie one after another and the next panel follows, so the
// lines asked for are the ones the sweep reads next; past the end of the
// matrix a prefetch is harmless. How far ahead was measured: a column of
// one-byte values, read fastest, wants 8 KB; the wider ones, with two or
// four lines a column asked for, fill the processor's queue of pending
// reads at that distance and run best at 2 KB (a 200 MB int16 matrix
// sweeps in 1.17 times the time of reading it, against 1.9 at 8 KB).
template <typename T, int H>
inline void prefetch_column(const T* col) {
  constexpr int kAhead = sizeof(T) == 1 ? 8192 : 2048;
  constexpr int kLine = 64;
  const char* const ahead = reinterpret_cast<const char*>(col) + kAhead;
  for (int b = 0; b < H * static_cast<int>(sizeof(T)); b += kLine) __builtin_prefetch(ahead + b);
}

// One panel whose height is V vectors; with Sums, its rows' magnitude sums
// too (see SweepData: every column in order, the diagonal's stored zero
// included).
template <typename Isa, typename T, int V, bool Sums>
void sweep_panel(const SweepData& d, int32_t p) {
  constexpr int W = Isa::kWidth;
  constexpr int H = W * V;
  using Vec = typename Isa::Vec;
  const int32_t n = d.n;
  const T* const panel = d.a->template panel<T>(p);
  const int32_t r0 = d.a->panel_row(p);
  const int32_t diag_end = std::min(d.a->row_end(), r0 + H);
  Vec s[V], m[V];
  for (int q = 0; q < V; ++q) s[q] = m[q] = Isa::zero();
  // Column j into the sums; a column of the panel's own rows skips the
  // lane of its diagonal.
  auto column = [&](int32_t j, auto own) {
    const Vec c = Isa::broadcast(d.curr[j]);
    const T* const col = panel + static_cast<size_t>(j) * H;
    prefetch_column<T, H>(col);
    for (int q = 0; q < V; ++q) {
      const Vec v = Isa::load(col + W * q);
      const Vec sum = Isa::add(s[q], Isa::mul(c, v));
      if constexpr (decltype(own)::value)
        s[q] = Isa::keep_lane(sum, s[q], j - r0 - W * q);
      else
        s[q] = sum;
      if constexpr (Sums) m[q] = Isa::add(m[q], Isa::abs(v));
    }
  };
  for (int32_t j = 0; j < r0; ++j) column(j, std::false_type{});
  for (int32_t j = r0; j < diag_end; ++j) column(j, std::true_type{});
  for (int32_t j = diag_end; j < n; ++j) column(j, std::false_type{});
  alignas(64) float out[H];
  for (int q = 0; q < V; ++q) Isa::store(out + W * q, s[q]);
  for (int32_t i = r0; i < diag_end; ++i) d.x[i] = (d.b[i] - out[i - r0]) / d.diag[i];
  if constexpr (Sums) {
    for (int q = 0; q < V; ++q) Isa::store(out + W * q, m[q]);
    for (int32_t i = r0; i < diag_end; ++i) d.sums[i] = out[i - r0];
  }
}

template <typename Isa, typename T>
void sweep_panels(const SweepData& d, int32_t p0, int32_t p1) {
  for (int32_t p = p0; p < p1; ++p)
    by_panel_height<Isa>(d.a->panel_height(p), [&](auto v) {
      if (d.sums != nullptr)
        sweep_panel<Isa, T, decltype(v)::value, true>(d, p);
      else
        sweep_panel<Isa, T, decltype(v)::value, false>(d, p);
    });
}

template <typename Isa>
SweepKernel sweep_kernel_for(Storage storage) {
  return by_storage(storage, [](auto t) -> SweepKernel { return sweep_panels<Isa, decltype(t)>; });
}

}  // namespace itsolv

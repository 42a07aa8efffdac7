// The off-diagonal coefficients of the matrix, stored in row panels.
//
// A panel holds kPanel consecutive rows; for each column it keeps those rows'
// coefficients side by side, so that one vector lane can carry one row's sum
// over the columns in ascending order. The last panel is only as high as its
// rows rounded up to kLanes, so padding stays small. The diagonal is kept apart (Problem::
// diag) and its place in the panel holds zero.
//
// When every off-diagonal coefficient is a small integer the panel holds it
// as an 8- or 16-bit integer: widening such an integer gives exactly the
// float that was read, so the arithmetic is unchanged while a sweep reads a
// quarter (half) of the bytes. Storage starts compact and is widened in place
// the first time a value needs it.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>

#include "base/buffer.hpp"
#include "base/row_range.hpp"

namespace itsolv {

enum class Storage : uint8_t { i8 = 0, i16 = 1, f32 = 2 };

inline size_t storage_bytes(Storage s) { return s == Storage::i8 ? 1 : s == Storage::i16 ? 2 : 4; }

// Calls f(T{}) with T the element type of storage s: code written once for
// every storage picks its instance here.
template <typename F>
decltype(auto) by_storage(Storage s, F&& f) {
  switch (s) {
    case Storage::i8:
      return f(int8_t{});
    case Storage::i16:
      return f(int16_t{});
    default:
      return f(float{});
  }
}

// The narrowest storage that holds `v` exactly (-0 keeps its sign only as a
// float).
inline Storage storage_for(float v) {
  if (v >= -128.0f && v <= 127.0f && v == static_cast<float>(static_cast<int>(v)) && !(v == 0.0f && std::signbit(v)))
    return Storage::i8;
  if (v >= -32768.0f && v <= 32767.0f && v == static_cast<float>(static_cast<int>(v)) &&
      !(v == 0.0f && std::signbit(v)))
    return Storage::i16;
  return Storage::f32;
}

class Matrix {
 public:
  static constexpr int kPanel = 64;
  static constexpr int kLanes = 16;  // the last panel's height is a multiple

  // Room for the rows `held` of an n-column matrix in the narrowest
  // storage, all zero.
  bool allocate(int32_t n, RowRange held);
  bool allocate(int32_t n) { return allocate(n, {0, n}); }

  // Widens the storage to `to`, keeping every value. Only rows below
  // `row_end` can hold non-zero values; panels after the one holding the
  // last of them stay untouched. False when memory cannot grow.
  bool widen(Storage to, int32_t row_end);

  Storage storage() const { return storage_; }
  int32_t n() const { return n_; }  // columns
  // The rows whose coefficients are held.
  RowRange held() const { return held_; }
  int32_t first_row() const { return held_.begin; }
  int32_t rows() const { return held_.size(); }
  int32_t row_end() const { return held_.end; }
  int32_t panels() const { return panels_; }
  size_t bytes() const { return elements() * storage_bytes(storage_); }
  size_t elements() const { return padded_rows() * static_cast<size_t>(n_); }
  size_t padded_rows() const {
    return panels_ == 0 ? 0
                        : static_cast<size_t>(panels_ - 1) * kPanel + static_cast<size_t>(panel_height(panels_ - 1));
  }

  // Rows of panel p, padding included: the distance between its columns.
  int panel_height(int32_t p) const {
    if (p + 1 < panels_) return kPanel;
    const int rows = held_.size() - p * kPanel;
    return (rows + kLanes - 1) / kLanes * kLanes;
  }

  // The distance between a row's columns: the height of its panel.
  size_t row_stride(int32_t row) const { return static_cast<size_t>(panel_height((row - held_.begin) / kPanel)); }

  // Element index of (row, col) in the panel layout; row counts from 0 for
  // the matrix, not for the rows held.
  size_t index(int32_t row, int32_t col) const {
    const int32_t local = row - held_.begin;
    return panel_offset(local / kPanel) + static_cast<size_t>(col) * row_stride(row) +
           static_cast<size_t>(local % kPanel);
  }
  // Element index of panel p's first element.
  size_t panel_offset(int32_t p) const { return static_cast<size_t>(p) * static_cast<size_t>(n_) * kPanel; }

  // Element (row, 0); element (row, col) is col * row_stride(row) further.
  template <typename T>
  T* row_base(int32_t row) {
    const int32_t local = row - held_.begin;
    return data<T>() + panel_offset(local / kPanel) + static_cast<size_t>(local % kPanel);
  }

  template <typename T>
  T* data() {
    return static_cast<T*>(memory_.data());
  }
  template <typename T>
  const T* data() const {
    return static_cast<const T*>(memory_.data());
  }

  // First row of panel p.
  int32_t panel_row(int32_t p) const { return held_.begin + p * kPanel; }

  // First element of panel p (rows panel_row(p) ...).
  template <typename T>
  const T* panel(int32_t p) const {
    return data<T>() + panel_offset(p);
  }

 private:
  RawMemory memory_;
  int32_t n_ = 0;
  RowRange held_;
  int32_t panels_ = 0;
  Storage storage_ = Storage::i8;
};

}  // namespace itsolv

#include "matrix/matrix.hpp"

#include <cstring>

namespace itsolv {

bool Matrix::allocate(int32_t n, RowRange held) {
  if (n < 0 || held.begin < 0 || held.begin > held.end || held.end > n) return false;
  n_ = n;
  held_ = held;
  panels_ = static_cast<int32_t>((int64_t{held.size()} + kPanel - 1) / kPanel);
  storage_ = Storage::i8;
  size_t bytes = 0;
  if (!byte_size(static_cast<uint64_t>(padded_rows()), static_cast<uint64_t>(n), bytes)) return false;
  return memory_.reserve(bytes);
}

namespace {

// Converts the first `count` elements from From to To in place, last first:
// element k moves from byte k*sizeof(From) to k*sizeof(To) >= it, so no
// element is overwritten before it has been read.
template <typename From, typename To>
void widen_backwards(void* base, size_t count) {
  unsigned char* bytes = static_cast<unsigned char*>(base);
  for (size_t k = count; k-- > 0;) {
    From from;
    std::memcpy(&from, bytes + k * sizeof(From), sizeof(From));
    const To to = static_cast<To>(from);
    std::memcpy(bytes + k * sizeof(To), &to, sizeof(To));
  }
}

}  // namespace

bool Matrix::widen(Storage target, int32_t row_end) {
  if (target <= storage_) return true;
  size_t bytes = 0;
  if (!byte_size(elements(), storage_bytes(target), bytes)) return false;
  if (!memory_.grow(bytes)) return false;
  const int32_t rows_written = row_end - held_.begin;
  const int32_t used_panels = rows_written <= 0 ? 0 : (rows_written - 1) / kPanel + 1;
  const size_t count = used_panels >= panels_ ? elements() : panel_offset(used_panels);
  void* base = memory_.data();
  if (storage_ == Storage::i8 && target == Storage::i16) widen_backwards<int8_t, int16_t>(base, count);
  if (storage_ == Storage::i8 && target == Storage::f32) widen_backwards<int8_t, float>(base, count);
  if (storage_ == Storage::i16 && target == Storage::f32) widen_backwards<int16_t, float>(base, count);
  storage_ = target;
  return true;
}

}  // namespace itsolv

// The values of a run of tokens read before the index of its first token in
// the file is known: a process of itsolv-mpi reads its byte range into this
// form as the bytes come, and places the values once it has learned where
// its range starts. Most coefficients of a problem are small integers,
// which take a byte each here; the other values are kept aside with their
// index, or, when they are many, every value of the run is kept as a float.
// So the values of a range take about as much memory as the rows they
// fill, and less than their text.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

namespace itsolv {

struct CompactValues {
  int64_t count = 0;                               // values held
  std::vector<int8_t> small;                       // value k when it fits a byte, 0 when kept aside
  std::vector<std::pair<uint32_t, float>> others;  // the values kept aside, by index
  std::vector<float> wide;                         // every value instead, when `small` is empty
};

}  // namespace itsolv

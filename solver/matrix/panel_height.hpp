// The kernels' loops over a panel keep its rows' sums in registers: V
// vectors of the instruction set's lanes, V fixed when compiled. A panel is
// 16, 32, 48 or 64 rows high (the last one may be lower than the others).
#pragma once

#include <type_traits>

#include "matrix/matrix.hpp"

namespace itsolv {

// Calls f(std::integral_constant<int, V>) with V the vectors of Isa that
// hold a panel of `height` rows.
template <typename Isa, typename F>
void by_panel_height(int height, F&& f) {
  constexpr int L = Matrix::kLanes / Isa::kWidth;  // vectors per 16 rows
  switch (height / Matrix::kLanes) {
    case 1:
      return f(std::integral_constant<int, L>{});
    case 2:
      return f(std::integral_constant<int, 2 * L>{});
    case 3:
      return f(std::integral_constant<int, 3 * L>{});
    default:
      return f(std::integral_constant<int, 4 * L>{});
  }
}

}  // namespace itsolv

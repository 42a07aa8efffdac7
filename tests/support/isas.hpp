// The instruction sets this machine runs, plain first: every path that has
// a variant per instruction set is tested on each of them.
#pragma once

#include <vector>

#include "base/isa.hpp"

namespace testing_support {

inline std::vector<itsolv::Isa> supported_isas() {
  std::vector<itsolv::Isa> out;
  for (itsolv::Isa isa : {itsolv::Isa::plain, itsolv::Isa::avx2, itsolv::Isa::avx512})
    if (itsolv::isa_supported(isa)) out.push_back(isa);
  return out;
}

}  // namespace testing_support

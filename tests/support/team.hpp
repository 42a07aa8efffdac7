// Teams of worker threads, one of each size for the whole test program.
#pragma once

#include <map>
#include <memory>

#include "base/workers.hpp"

namespace testing_support {

inline itsolv::Workers& team(int threads) {
  static std::map<int, std::unique_ptr<itsolv::Workers>> teams;
  auto& slot = teams[threads];
  if (!slot) slot = std::make_unique<itsolv::Workers>(threads);
  return *slot;
}

}  // namespace testing_support

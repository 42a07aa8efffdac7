// A progress sink that keeps every report it is given.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "common/progress.hpp"

namespace testing_support {

struct ProgressLog : common::Progress {
  std::vector<std::pair<uint64_t, uint64_t>> reports;  // (done, total)
  void advance(uint64_t done, uint64_t total) override { reports.emplace_back(done, total); }
  void finish() override {}
};

}  // namespace testing_support

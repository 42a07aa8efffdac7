// A progress display for a terminal: one line, shown only once the work has
// gone on for a while, redrawn a few times a second and erased when the work
// ends, so that nothing of it stays on the screen.
//
//   itsolv: loading  42%  180.3 MB/s  0:03 left    (the total is known)
//   itsolv: loading  120.5 MB  75.3 MB/s           (it is not: a pipe)
//   itsolv: sweep 12  change 3.1e-03  tolerance 1.0e-04   (label "itsolv:")
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string_view>

#include "common/progress.hpp"
#include "common/write_all.hpp"

namespace common {

class ProgressLine final : public Progress {
 public:
  using Clock = std::chrono::steady_clock;
  using Now = std::function<Clock::time_point()>;
  using Write = std::function<void(std::string_view)>;

  static constexpr Clock::duration kDelay = std::chrono::seconds(1);
  static constexpr Clock::duration kInterval = std::chrono::milliseconds(250);

  // `label` starts the line and must outlive the object. The work is taken
  // to start now. Nothing is written before `delay` has passed, nor more
  // often than once an `interval`. Allocates nothing.
  explicit ProgressLine(std::string_view label, Write write = write_stderr, Now now = Clock::now,
                        Clock::duration delay = kDelay, Clock::duration interval = kInterval);
  ProgressLine(const ProgressLine&) = delete;
  ProgressLine& operator=(const ProgressLine&) = delete;
  ~ProgressLine() override;

  void advance(uint64_t done, uint64_t total) override;
  // The sweeps: the number of the last sweep, its largest relative change
  // and the tolerance, under the same rules for when to draw.
  void sweep(int64_t sweep, float change, float tolerance);
  // Erases the line if it was shown; later advances show nothing.
  void finish() override;

 private:
  // Whether a line is to be drawn now (the work not finished); if so, notes
  // that it is.
  bool due(Clock::time_point now);

  std::string_view label_;
  Write write_;
  Now now_;
  Clock::duration delay_, interval_;
  Clock::time_point start_, drawn_;
  bool shown_ = false;
  bool finished_ = false;
};

}  // namespace common

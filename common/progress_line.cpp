#include "common/progress_line.hpp"

#include <cstdio>
#include <utility>

namespace common {

namespace {

// Moves to the start of the line and clears it to its end.
constexpr std::string_view kErase = "\r\033[K";

// The line for `done` of `total` bytes (total 0: unknown) after `seconds`,
// between "\r" and an erasure of what a longer line left behind.
std::string_view format(char (&line)[160], std::string_view label, uint64_t done, uint64_t total, double seconds) {
  const double rate = seconds > 0 ? static_cast<double>(done) / seconds : 0.0;
  int length = 0;
  if (total == 0) {
    length = std::snprintf(line, sizeof line, "\r%.*s  %.1f MB  %.1f MB/s\033[K", static_cast<int>(label.size()),
                           label.data(), static_cast<double>(done) / 1e6, rate / 1e6);
  } else {
    if (done > total) done = total;
    const int percent = static_cast<int>(static_cast<double>(done) * 100.0 / static_cast<double>(total));
    char left[32] = "--:--";
    if (rate > 0) {
      const double remaining = static_cast<double>(total - done) / rate + 0.5;
      const uint64_t s = remaining < 1e9 ? static_cast<uint64_t>(remaining) : uint64_t{999999999};
      if (s < 3600)
        std::snprintf(left, sizeof left, "%u:%02u", static_cast<unsigned>(s / 60), static_cast<unsigned>(s % 60));
      else
        std::snprintf(left, sizeof left, "%llu:%02u:%02u", static_cast<unsigned long long>(s / 3600),
                      static_cast<unsigned>(s / 60 % 60), static_cast<unsigned>(s % 60));
    }
    length = std::snprintf(line, sizeof line, "\r%.*s  %d%%  %.1f MB/s  %s left\033[K", static_cast<int>(label.size()),
                           label.data(), percent, rate / 1e6, left);
  }
  if (length < 0) return kErase;
  if (static_cast<size_t>(length) >= sizeof line) length = sizeof line - 1;
  return {line, static_cast<size_t>(length)};
}

}  // namespace

ProgressLine::ProgressLine(std::string_view label, Write write, Now now, Clock::duration delay,
                           Clock::duration interval)
    : label_(label), write_(std::move(write)), now_(std::move(now)), delay_(delay), interval_(interval) {
  start_ = now_();
}

ProgressLine::~ProgressLine() { finish(); }

bool ProgressLine::due(Clock::time_point now) {
  if (now - start_ < delay_) return false;
  if (shown_ && now - drawn_ < interval_) return false;
  shown_ = true;
  drawn_ = now;
  return true;
}

void ProgressLine::advance(uint64_t done, uint64_t total) {
  if (finished_) return;
  const Clock::time_point now = now_();
  if (!due(now)) return;
  char line[160];
  write_(format(line, label_, done, total, std::chrono::duration<double>(now - start_).count()));
}

void ProgressLine::sweep(int64_t sweep, float change, float tolerance) {
  if (finished_ || !due(now_())) return;
  char line[160];
  const int length = std::snprintf(line, sizeof line, "\r%.*s sweep %lld  change %.1e  tolerance %.1e\033[K",
                                   static_cast<int>(label_.size()), label_.data(), static_cast<long long>(sweep),
                                   static_cast<double>(change), static_cast<double>(tolerance));
  write_(length > 0 && static_cast<size_t>(length) < sizeof line ? std::string_view(line, static_cast<size_t>(length))
                                                                 : kErase);
}

void ProgressLine::finish() {
  if (finished_) return;
  finished_ = true;
  if (shown_) write_(kErase);
}

}  // namespace common

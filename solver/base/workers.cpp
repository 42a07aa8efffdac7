#include "base/workers.hpp"

#include <sched.h>

#include <system_error>

namespace itsolv {

int available_cores() {
  cpu_set_t set;
  CPU_ZERO(&set);
  if (sched_getaffinity(0, sizeof set, &set) == 0) {
    const int n = CPU_COUNT(&set);
    if (n > 0) return n;
  }
  const unsigned n = std::thread::hardware_concurrency();
  return n > 0 ? static_cast<int>(n) : 1;
}

namespace {

inline void pause() {
#if defined(__x86_64__) || defined(__i386__)
  __builtin_ia32_pause();
#endif
}

// Spins a little before sleeping: a team that sweeps a mid-sized problem
// meets every few hundred microseconds.
// Waits until `word` no longer holds `value`.
template <typename T>
T await_change(const std::atomic<T>& word, T value) {
  constexpr int kSpins = 4000;  // a few microseconds
  for (int spin = 0; spin < kSpins; ++spin) {
    const T now = word.load(std::memory_order_acquire);
    if (now != value) return now;
    pause();
  }
  for (;;) {
    word.wait(value, std::memory_order_acquire);
    const T now = word.load(std::memory_order_acquire);
    if (now != value) return now;
  }
}

}  // namespace

Workers::Workers(int threads) : size_(threads < 1 ? 1 : threads) {
  threads_.reserve(static_cast<size_t>(size_ - 1));
  for (int k = 1; k < size_; ++k) {
    try {
      threads_.emplace_back([this, k] { serve(k); });
    } catch (const std::system_error&) {
      size_ = k;  // work with the threads that could be started
      break;
    }
  }
}

Workers::~Workers() {
  stop_.store(true, std::memory_order_release);
  generation_.fetch_add(1, std::memory_order_acq_rel);
  generation_.notify_all();
  for (auto& t : threads_) t.join();
}

void Workers::dispatch(Trampoline call, const void* job, bool all) {
  call_ = call;
  job_ = job;
  all_ = all;
  pending_.store(size_ - 1, std::memory_order_relaxed);
  const uint32_t generation = generation_.load(std::memory_order_relaxed) + 1;
  entry_.store(uint64_t{generation} << 32, std::memory_order_release);
  generation_.store(generation, std::memory_order_release);
  generation_.notify_all();
  call(job, 0);
  if (all)
    for (int left = pending_.load(std::memory_order_acquire); left != 0;) left = await_change(pending_, left);
  // No member enters after this; wait for those inside.
  for (uint64_t e = entry_.fetch_or(kClosed, std::memory_order_acq_rel) | kClosed; (e & kInside) != 0;)
    e = await_change(entry_, e);
}

bool Workers::enter(uint32_t& last) {
  uint64_t e = entry_.load(std::memory_order_acquire);
  do {
    if ((e & kClosed) != 0 || static_cast<uint32_t>(e >> 32) == last) return false;
  } while (!entry_.compare_exchange_weak(e, e + 1, std::memory_order_acq_rel, std::memory_order_acquire));
  last = static_cast<uint32_t>(e >> 32);
  return true;
}

void Workers::leave() {
  const uint64_t e = entry_.fetch_sub(1, std::memory_order_acq_rel) - 1;
  if ((e & kClosed) != 0 && (e & kInside) == 0) entry_.notify_all();
}

void Workers::serve(int k) {
  uint32_t seen = 0, last = 0;
  for (;;) {
    seen = await_change(generation_, seen);
    if (stop_.load(std::memory_order_acquire)) return;
    if (!enter(last)) continue;  // the job was over before this member came
    const bool all = all_;
    call_(job_, k);
    if (all && pending_.fetch_sub(1, std::memory_order_acq_rel) == 1) pending_.notify_all();
    leave();
  }
}

}  // namespace itsolv

#include "workers.hpp"

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
  for (int spin = 0; spin < 4000; ++spin) {
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

void Workers::dispatch(Trampoline call, const void* job) {
  call_ = call;
  job_ = job;
  pending_.store(size_ - 1, std::memory_order_relaxed);
  generation_.fetch_add(1, std::memory_order_acq_rel);
  generation_.notify_all();
  call(job, 0);
  for (int left = pending_.load(std::memory_order_acquire); left != 0;)
    left = await_change(pending_, left);
}

void Workers::serve(int k) {
  uint32_t seen = 0;
  for (;;) {
    seen = await_change(generation_, seen);
    if (stop_.load(std::memory_order_acquire)) return;
    call_(job_, k);
    if (pending_.fetch_sub(1, std::memory_order_acq_rel) == 1) pending_.notify_all();
  }
}

}  // namespace itsolv

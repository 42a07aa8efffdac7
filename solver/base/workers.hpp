// A fixed team of threads, created once. run() hands the same job to every
// member (the calling thread is member 0) and returns when all have finished;
// share() hands it to the members that come before the caller has finished
// its own call, and returns when those have finished, so that a member held
// up by another process delays nobody.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <thread>
#include <vector>

namespace itsolv {

// Cores this process may run on.
int available_cores();

class Workers {
 public:
  explicit Workers(int threads = available_cores());
  ~Workers();
  Workers(const Workers&) = delete;
  Workers& operator=(const Workers&) = delete;

  int size() const { return size_; }

  // Calls job(k) once for each k in [0, size()); job must not throw.
  template <typename Job>
  void run(const Job& job) {
    start(job, true);
  }

  // Calls job(k) for member 0 and for each other member k that starts
  // before member 0 has returned from its call; job must not throw. Meant
  // for jobs that take their work from a shared counter.
  template <typename Job>
  void share(const Job& job) {
    start(job, false);
  }

  // Calls job(k) once for each k in [0, items), the members taking items
  // from a shared counter as they come (see share()).
  template <typename Job>
  void for_each(size_t items, const Job& job) {
    if (items == 1) {
      job(size_t{0});
      return;
    }
    std::atomic<size_t> next{0};
    share([&](int) {
      for (size_t k; (k = next.fetch_add(1, std::memory_order_relaxed)) < items;) job(k);
    });
  }

 private:
  using Trampoline = void (*)(const void*, int);
  template <typename Job>
  void start(const Job& job, bool all) {
    if (size_ == 1)
      job(0);
    else
      dispatch(&invoke<Job>, &job, all);
  }
  template <typename Job>
  static void invoke(const void* job, int k) {
    (*static_cast<const Job*>(job))(k);
  }

  void dispatch(Trampoline call, const void* job, bool all);
  void serve(int k);
  bool enter(uint32_t& last);
  void leave();

  // entry_: the job's generation in the high half, then the closed bit and
  // the count of members inside the job. A member enters an open job once.
  static constexpr uint64_t kClosed = uint64_t{1} << 31;
  static constexpr uint64_t kInside = kClosed - 1;

  int size_;
  std::vector<std::thread> threads_;
  Trampoline call_ = nullptr;
  const void* job_ = nullptr;
  bool all_ = true;
  std::atomic<uint32_t> generation_{0};
  std::atomic<uint64_t> entry_{kClosed};
  std::atomic<int> pending_{0};
  std::atomic<bool> stop_{false};
};

}  // namespace itsolv

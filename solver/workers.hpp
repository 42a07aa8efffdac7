// A fixed team of threads, created once. run() hands the same job to every
// member (the calling thread is member 0) and returns when all have finished.
#pragma once

#include <atomic>
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
    if (size_ == 1) {
      job(0);
      return;
    }
    dispatch(&invoke<Job>, &job);
  }

 private:
  using Trampoline = void (*)(const void*, int);
  template <typename Job>
  static void invoke(const void* job, int k) { (*static_cast<const Job*>(job))(k); }

  void dispatch(Trampoline call, const void* job);
  void serve(int k);

  int size_;
  std::vector<std::thread> threads_;
  Trampoline call_ = nullptr;
  const void* job_ = nullptr;
  std::atomic<uint32_t> generation_{0};
  std::atomic<int> pending_{0};
  std::atomic<bool> stop_{false};
};

}  // namespace itsolv

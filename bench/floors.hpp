// What this machine allows at best: the rates that bound each phase of the
// solver and the generator, measured with the simplest code that reaches them.
#pragma once

#include <emmintrin.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <thread>
#include <vector>

namespace floors {

inline double now() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// Median of the figures that `runs` calls of f return.
template <typename F>
double median_of(int runs, const F& f) {
  std::vector<double> t;
  for (int r = 0; r < runs; ++r) t.push_back(f());
  std::sort(t.begin(), t.end());
  return t[t.size() / 2];
}

// Median of the times of `runs` calls of f (seconds).
template <typename F>
double median_time(int runs, const F& f) {
  return median_of(runs, [&] {
    const double start = now();
    f();
    return now() - start;
  });
}

// Reads bytes [begin, end) of `data` once, 64 bytes a step into four
// independent vector sums, so that the loads and not the adds bound it;
// each line is asked for 8 KiB ahead, as the sweeps do, since the
// hardware's own prefetch alone falls well short of the bandwidth.
inline uint64_t read_span(const unsigned char* data, size_t begin, size_t end) {
  __m128i s[4] = {_mm_setzero_si128(), _mm_setzero_si128(), _mm_setzero_si128(), _mm_setzero_si128()};
  size_t i = begin;
  for (; i + 64 <= end; i += 64) {
    __builtin_prefetch(data + i + 8192);
    for (int k = 0; k < 4; ++k)
      s[k] = _mm_add_epi64(s[k], _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i + 16 * k)));
  }
  uint64_t total = 0;
  for (; i < end; ++i) total += data[i];
  for (const __m128i v : s) total += static_cast<uint64_t>(_mm_cvtsi128_si64(v));
  return total;
}

// Reads all of data[0, bytes) `passes` times on `threads` threads, each
// thread its own contiguous share (as the sweeps split the panels).
inline uint64_t read_memory(const unsigned char* data, size_t bytes, int passes, int threads) {
  std::vector<uint64_t> sums(threads);
  auto part = [&](int k) {
    const size_t begin = bytes * k / threads, end = bytes * (k + 1) / threads;
    for (int p = 0; p < passes; ++p) sums[k] += read_span(data, begin, end);
  };
  std::vector<std::thread> team;
  for (int k = 1; k < threads; ++k) team.emplace_back(part, k);
  part(0);
  for (auto& t : team) t.join();
  uint64_t total = 0;
  for (uint64_t s : sums) total += s;
  return total;
}

// Seconds to map `bytes` of fresh anonymous memory and write one byte of
// every page, `threads` threads each its own contiguous share, as the first
// stores into a new matrix do: the system finds and zeroes each page as it
// is first written. The memory is given back afterwards, untimed; -1 when it
// cannot be mapped.
inline double first_touch(size_t bytes, int threads) {
  const double start = now();
  void* const map = ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (map == MAP_FAILED) return -1;
  char* const data = static_cast<char*>(map);
  constexpr size_t kPage = 4096;
  auto part = [&](int k) {
    auto edge = [&](int j) { return j == threads ? bytes : bytes * j / threads / kPage * kPage; };
    const size_t begin = edge(k), end = edge(k + 1);
    for (size_t i = begin; i < end; i += kPage) static_cast<volatile char*>(data)[i] = 1;
  };
  std::vector<std::thread> team;
  for (int k = 1; k < threads; ++k) team.emplace_back(part, k);
  part(0);
  for (auto& t : team) t.join();
  const double t = now() - start;
  ::munmap(map, bytes);
  return t;
}

// read() of the whole file at `path` into one reused buffer of `block` bytes;
// the bytes read, or -1.
inline int64_t read_file(const char* path, std::vector<char>& buffer) {
  const int fd = ::open(path, O_RDONLY);
  if (fd < 0) return -1;
  int64_t total = 0;
  for (;;) {
    const ssize_t got = ::read(fd, buffer.data(), buffer.size());
    if (got <= 0) break;
    total += got;
  }
  ::close(fd);
  return total;
}

// Writes `bytes` bytes from a buffer to a new file at `path` with write() in
// blocks of the buffer's size; false on failure. The file is removed.
inline bool write_file(const char* path, size_t bytes, const std::vector<char>& buffer) {
  const int fd = ::open(path, O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (fd < 0) return false;
  bool ok = true;
  for (size_t done = 0; done < bytes && ok;) {
    const size_t n = std::min(buffer.size(), bytes - done);
    const ssize_t put = ::write(fd, buffer.data(), n);
    ok = put > 0;
    done += ok ? static_cast<size_t>(put) : 0;
  }
  ok = ::close(fd) == 0 && ok;
  ::unlink(path);
  return ok;
}

}  // namespace floors

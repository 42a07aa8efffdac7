// Reads a file's bytes the ways the loader could, for timing them against
// each other as whole processes: read() into one reused buffer of 8 MiB;
// the same buffer filled by two threads, each a megabyte slice at a time
// with pread() (as the loader does); mmap() with MAP_POPULATE; or mmap()
// with madvise(MADV_SEQUENTIAL) and first touch. Every 64th byte is added up, so that each way brings every
// cache line in once, as the tokenizer would.
//
// usage: file_bytes_probe read|pread2|populate|touch FILE
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <thread>
#include <vector>

namespace {

unsigned sum_lines(const char* p, size_t n) {
  unsigned s = 0;
  for (size_t i = 0; i < n; i += 64) s += static_cast<unsigned char>(p[i]);
  return s;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: file_bytes_probe read|pread2|populate|touch FILE\n");
    return 2;
  }
  const int fd = open(argv[2], O_RDONLY);
  struct stat st {};
  if (fd < 0 || fstat(fd, &st) != 0) return 1;
  const size_t size = static_cast<size_t>(st.st_size);
  unsigned s = 0;
  if (std::strcmp(argv[1], "read") == 0) {
    std::vector<char> buf(size_t{8} << 20);
    for (ssize_t got; (got = read(fd, buf.data(), buf.size())) > 0;)
      s += sum_lines(buf.data(), static_cast<size_t>(got));
  } else if (std::strcmp(argv[1], "pread2") == 0) {
    constexpr size_t kBuffer = size_t{8} << 20, kSlice = size_t{1} << 20;
    std::vector<char> buf(kBuffer);
    for (size_t at = 0; at < size; at += kBuffer) {
      const size_t want = std::min(kBuffer, size - at);
      std::atomic<size_t> next{0};
      std::atomic<unsigned> sum{0};
      auto work = [&] {
        for (size_t k; (k = next.fetch_add(kSlice)) < want;) {
          const size_t length = std::min(kSlice, want - k);
          if (pread(fd, buf.data() + k, length, static_cast<off_t>(at + k)) != static_cast<ssize_t>(length)) return;
          sum += sum_lines(buf.data() + k, length);
        }
      };
      std::thread other(work);
      work();
      other.join();
      s += sum;
    }
  } else {
    const int flags = MAP_PRIVATE | (std::strcmp(argv[1], "populate") == 0 ? MAP_POPULATE : 0);
    void* p = mmap(nullptr, size, PROT_READ, flags, fd, 0);
    if (p == MAP_FAILED) return 1;
    madvise(p, size, MADV_SEQUENTIAL);
    s = sum_lines(static_cast<const char*>(p), size);
  }
  std::printf("%u\n", s);
  return 0;
}

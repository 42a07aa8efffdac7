// Reads a file's bytes the ways the loader could, for timing them against
// each other as whole processes: read() into one reused buffer of 8 MiB,
// mmap() with MAP_POPULATE, or mmap() with madvise(MADV_SEQUENTIAL) and
// first touch. Every 64th byte is added up, so that each way brings every
// cache line in once, as the tokenizer would.
//
// usage: file_bytes_probe read|populate|touch FILE
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
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
    std::fprintf(stderr, "usage: file_bytes_probe read|populate|touch FILE\n");
    return 2;
  }
  const int fd = open(argv[2], O_RDONLY);
  struct stat st {};
  if (fd < 0 || fstat(fd, &st) != 0) return 1;
  const size_t size = static_cast<size_t>(st.st_size);
  unsigned s = 0;
  if (std::strcmp(argv[1], "read") == 0) {
    std::vector<char> buf(size_t{8} << 20);
    for (ssize_t got; (got = read(fd, buf.data(), buf.size())) > 0;) s += sum_lines(buf.data(), static_cast<size_t>(got));
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

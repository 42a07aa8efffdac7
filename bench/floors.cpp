// This machine's floors: memory read bandwidth on one core and on all, the
// first touch of fresh memory (mapped, every page written once), read() of
// a file from the page cache, and writing a file.
//
//   floors [FILE]   FILE (default: a 291 MB file it writes and removes) is
//                   the one read from the page cache; the write is of as
//                   many bytes, to a file in the current directory.
#include "floors.hpp"

#include <cstdio>
#include <thread>
#include <vector>

int main(int argc, char** argv) {
  if (argc > 2) {
    std::fputs("usage: floors [FILE]\n", stderr);
    return 2;
  }
  const size_t matrix = size_t{100} << 20;  // the int8 matrix of 10,000 variables
  std::vector<unsigned char> data(matrix, 1);
  const int cores = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
  std::printf("%-34s %9s %9s\n", "floor", "seconds", "GB/s");
  auto line = [](const char* what, double t, double bytes) {
    std::printf("%-34s %9.4f %9.2f\n", what, t, 1e-9 * bytes / t);
  };
  for (int threads : {1, cores}) {
    const double t = floors::median_time(5, [&] { floors::read_memory(data.data(), matrix, 1, threads); });
    char what[64];
    std::snprintf(what, sizeof what, "memory read, 100 MiB, %d thread%s", threads, threads > 1 ? "s" : "");
    line(what, t, matrix);
  }
  for (int threads : {1, cores}) {
    const double t = floors::median_of(3, [&] { return floors::first_touch(matrix, threads); });
    char what[64];
    std::snprintf(what, sizeof what, "first touch, 100 MiB, %d thread%s", threads, threads > 1 ? "s" : "");
    line(what, t, matrix);
  }
  const size_t file_bytes = 291'000'000;
  std::vector<char> buffer(size_t{1} << 20, '7');
  const char* scratch = "floors.scratch";
  const char* path = argc == 2 ? argv[1] : scratch;
  const double t_write = floors::median_time(3, [&] { floors::write_file("floors.write", file_bytes, buffer); });
  if (argc < 2) {  // a file to read back: written, kept until the end
    std::FILE* f = std::fopen(scratch, "wb");
    for (size_t done = 0; f && done < file_bytes; done += buffer.size())
      std::fwrite(buffer.data(), 1, buffer.size(), f);
    if (f) std::fclose(f);
  }
  int64_t bytes = floors::read_file(path, buffer);
  const double t_read = floors::median_time(5, [&] { bytes = floors::read_file(path, buffer); });
  if (argc < 2) std::remove(scratch);
  if (bytes < 0) {
    std::fprintf(stderr, "floors: cannot read %s\n", path);
    return 1;
  }
  line("read() from the page cache", t_read, static_cast<double>(bytes));
  line("write() of a new 291 MB file", t_write, static_cast<double>(file_bytes));
  return 0;
}

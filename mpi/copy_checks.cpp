#include "copy_checks.hpp"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <string>

#include "bounded_wait.hpp"

namespace itsolv_mpi {

HeadPrint head_print(int fd, int64_t size, int64_t head_bytes) {
  HeadPrint print{size, head_bytes, 0};
  itsolv::Seam head;
  char buffer[1 << 16];
  for (int64_t at = 0; at < head_bytes;) {
    const size_t want = static_cast<size_t>(std::min<int64_t>(sizeof buffer, head_bytes - at));
    const ssize_t got = pread(fd, buffer, want, static_cast<off_t>(at));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return {size, -1, 0};
    head.add(buffer, buffer + got);
    at += got;
  }
  print.hash = head.hash;
  return print;
}

std::string copies_differ(const char* path, int a, int b, const std::string& what) {
  return "Cannot read file " + std::string(path) + ": the copies of process " + std::to_string(a) + " on " +
         host_name(a) + " and process " + std::to_string(b) + " on " + host_name(b) + " differ in " + what + "\n";
}

StepFailure check_heads(const char* path, const HeadPrint& mine, MPI_Comm comm) {
  int procs = 1;
  MPI_Comm_size(comm, &procs);
  const int64_t fields[3] = {mine.size, mine.head_bytes, static_cast<int64_t>(mine.hash)};
  std::vector<int64_t> all(3 * static_cast<size_t>(procs));
  MPI_Request request;
  MPI_Iallgather(fields, 3, MPI_INT64_T, all.data(), 3, MPI_INT64_T, comm, &request);
  wait_one(comm, request);
  for (int k = 1; k < procs; ++k) {
    const int64_t* const c = &all[3 * static_cast<size_t>(k)];
    if (c[0] != all[0])
      return copies_differ(path, 0, k, "size (" + std::to_string(all[0]) + " and " + std::to_string(c[0]) + " bytes)");
  }
  for (int k = 1; k < procs; ++k) {
    const int64_t* const c = &all[3 * static_cast<size_t>(k)];
    if (c[1] != all[1] || c[2] != all[2]) return copies_differ(path, 0, k, "their head (the count and the tolerance)");
  }
  return std::nullopt;
}

void put_seams(const RangeValues& r, int64_t* fields) {
  fields[0] = r.start.bytes;
  fields[1] = static_cast<int64_t>(r.start.hash);
  fields[2] = r.start.open ? 1 : 0;
  fields[3] = r.end.bytes;
  fields[4] = static_cast<int64_t>(r.end.hash);
}

}  // namespace itsolv_mpi

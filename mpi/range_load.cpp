// Loading a file that can be read at an offset: one byte range per process.
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <limits>
#include <new>
#include <vector>

#include "buffer.hpp"
#include "failure.hpp"
#include "file_reader.hpp"
#include "load_steps.hpp"
#include "shared_load.hpp"
#include "text_run.hpp"
#include "token_pieces.hpp"

namespace itsolv_mpi {
namespace {

using itsolv::fail;

// Reads `length` bytes at `offset` to `to`; fewer only at the end of the
// file.
size_t read_at(int fd, const char* path, char* to, size_t length, uint64_t offset) {
  size_t got = 0;
  while (got < length) {
    const ssize_t n = pread(fd, to + got, length - got, static_cast<off_t>(offset + got));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) fail("Cannot read file %s: %s\n", path, std::strerror(errno));
    if (n == 0) break;
    got += static_cast<size_t>(n);
  }
  return got;
}

// This process's range: the tokens that start in bytes [from, to) of the
// file, read whole, with blanks after them.
struct Range {
  itsolv::RawMemory bytes;
  const char* begin = nullptr;  // after the tail of a token begun before `from`
  const char* end = nullptr;
};

Range read_range(int fd, const char* path, uint64_t from, uint64_t to, uint64_t size) {
  // One byte before the range tells whether it starts inside a token; bytes
  // after it, up to white space, complete the token it ends inside.
  Range r;
  const uint64_t first = from - 1;
  size_t length = static_cast<size_t>(to - first);
  constexpr size_t kStep = 4096;
  if (!r.bytes.reserve(length + kStep + itsolv::Reader::kSlack)) throw std::bad_alloc();
  char* data = static_cast<char*>(r.bytes.data());
  if (read_at(fd, path, data, length, first) != length)
    fail("Cannot read file %s: the file was cut short while it was read\n", path);
  while (first + length < size && !is_space(data[length - 1])) {
    if (!r.bytes.grow(length + kStep + itsolv::Reader::kSlack)) throw std::bad_alloc();
    data = static_cast<char*>(r.bytes.data());
    char* const more = data + length;
    const size_t got = read_at(fd, path, more, kStep, first + length);
    const char* const space = std::find_if(more, more + got, is_space);
    length += static_cast<size_t>(space - more);
    if (got == 0 || space != more + got) break;
  }
  std::memset(data + length, ' ', itsolv::Reader::kSlack);
  r.begin = is_space(data[0]) ? data + 1 : std::find_if(data + 1, data + length, is_space);
  r.end = data + length;
  return r;
}

// The text of other processes' rows that reached this one: piece k, from
// process k, is counts[k] bytes at text[at[k]], with blanks after it.
struct Pieces {
  std::vector<char> text;
  std::vector<int> counts;
  std::vector<size_t> at;
};

// Collective: sends every other process the text of its rows' tokens that
// lie in this range (tokens `ours` of the file), and receives theirs.
Pieces exchange_pieces(const Range& range, const itsolv::TextRun& run, Tokens ours, int32_t n, MPI_Comm comm) {
  constexpr int kPieceTag = 2;
  int rank = 0, procs = 1;
  MPI_Comm_rank(comm, &rank);
  MPI_Comm_size(comm, &procs);
  std::vector<int> send_counts(static_cast<size_t>(procs));
  std::vector<const char*> send_at(static_cast<size_t>(procs));
  for (int k = 0; k < procs; ++k) {
    const Tokens piece = ours.meet(k == rank ? Tokens{0, 0} : block_tokens(n, procs, k));
    if (piece.size() == 0) continue;
    const char* const begin = token_start(range.begin, range.end, piece.begin - ours.begin, run.tokens());
    const char* const end = token_start(range.begin, range.end, piece.end - ours.begin, run.tokens());
    send_at[static_cast<size_t>(k)] = begin;
    send_counts[static_cast<size_t>(k)] = static_cast<int>(end - begin);
  }
  Pieces got;
  got.counts.resize(static_cast<size_t>(procs));
  MPI_Alltoall(send_counts.data(), 1, MPI_INT, got.counts.data(), 1, MPI_INT, comm);
  size_t received = 0;
  for (int count : got.counts) {
    got.at.push_back(received);
    received += static_cast<size_t>(count) + itsolv::Reader::kSlack;
  }
  got.text.assign(received, ' ');
  std::vector<MPI_Request> requests;
  requests.reserve(2 * static_cast<size_t>(procs));
  for (int k = 0; k < procs; ++k) {
    const size_t at = static_cast<size_t>(k);
    if (got.counts[at] > 0) {
      requests.emplace_back();
      MPI_Irecv(got.text.data() + got.at[at], got.counts[at], MPI_CHAR, k, kPieceTag, comm, &requests.back());
    }
    if (send_counts[at] > 0) {
      requests.emplace_back();
      MPI_Isend(send_at[at], send_counts[at], MPI_CHAR, k, kPieceTag, comm, &requests.back());
    }
  }
  MPI_Waitall(static_cast<int>(requests.size()), requests.data(), MPI_STATUSES_IGNORE);
  return got;
}

}  // namespace

StepFailure load_ranges(itsolv::Problem& p, const char* path, int fd, uint64_t size, MPI_Comm comm,
                        itsolv::Workers& workers, const itsolv::LoadOptions& options) {
  int rank = 0, procs = 1;
  MPI_Comm_rank(comm, &rank);
  MPI_Comm_size(comm, &procs);
  itsolv::FileHandle own(rank == 0 ? -1 : open(path, O_RDONLY | O_CLOEXEC));
  if (rank != 0) fd = own.fd();
  if (StepFailure f = agree(comm, attempt([&] {
                              struct stat st {};
                              if (fd < 0 || fstat(fd, &st) != 0 || S_ISDIR(st.st_mode))
                                fail("Cannot open file %s\n", path);
                            })))
    return f;

  // The header, on every process: the count, the tolerance, the allocation.
  int64_t total = 0, line = 1;
  uint64_t after_header = 0;
  if (StepFailure f = agree(comm, attempt([&] {
                              itsolv::Reader reader(fd, path, 4096, size);
                              total = itsolv::read_header(p, reader, size);
                              line = reader.line();
                              after_header = reader.offset(reader.pos());
                              itsolv::allocate(p, options);
                            })))
    return f;
  const int32_t n = p.num;
  if (n == 0) return std::nullopt;

  // Bytes [after_header, size) in one range per process; each counts its own.
  const uint64_t left = size - after_header;
  const uint64_t from = after_header + left * static_cast<uint64_t>(rank) / static_cast<uint64_t>(procs);
  const uint64_t to = after_header + left * static_cast<uint64_t>(rank + 1) / static_cast<uint64_t>(procs);
  Range range;
  std::optional<itsolv::TextRun> run;
  char last_byte = 0;
  if (StepFailure f = agree(comm, attempt([&] {
                              range = read_range(fd, path, from, to, size);
                              run.emplace(range.begin, range.end, workers, options.part_bytes, options.isa);
                              read_at(fd, path, &last_byte, 1, size - 1);
                            })))
    return f;
  const int64_t mine[2] = {run->tokens(), run->newlines()};
  std::vector<int64_t> counts(2 * static_cast<size_t>(procs));
  MPI_Allgather(mine, 2, MPI_INT64_T, counts.data(), 2, MPI_INT64_T, comm);
  std::vector<Tokens> ranges;  // each process's tokens, those before `total`
  int64_t first = 2, first_line = line;
  for (int k = 0; k < procs; ++k) {
    if (k == rank) first_line = line;
    const int64_t tokens = counts[2 * static_cast<size_t>(k)];
    ranges.push_back(Tokens{first, first + tokens}.meet({0, total}));
    first += tokens;
    line += counts[2 * static_cast<size_t>(k) + 1];
  }
  const Tokens ours = ranges[static_cast<size_t>(rank)];

  // The tokens of other processes' rows in this range go to them first, so
  // that the text of the range can be given back as it is placed.
  const Pieces pieces = exchange_pieces(range, *run, ours, n, comm);
  const auto give_back = [](const char* begin, const char* end) {
    const uintptr_t page = static_cast<uintptr_t>(sysconf(_SC_PAGESIZE));
    const uintptr_t from = (reinterpret_cast<uintptr_t>(begin) + page - 1) / page * page;
    const uintptr_t to = reinterpret_cast<uintptr_t>(end) / page * page;
    if (to > from) madvise(reinterpret_cast<void*>(from), to - from, MADV_DONTNEED);
  };
  // In file order: the pieces of earlier ranges, this range, later ones.
  const Tokens held = block_tokens(n, procs, rank);
  const auto place_pieces = [&](int from, int to) {
    for (size_t k = static_cast<size_t>(from); k < static_cast<size_t>(to); ++k) {
      if (pieces.counts[k] == 0) continue;
      const char* const begin = pieces.text.data() + pieces.at[k];
      itsolv::TextRun piece(begin, begin + pieces.counts[k], workers, options.part_bytes, options.isa);
      piece.place(p, ranges[k].meet(held).begin, total);
    }
  };
  itsolv::Placed placed;
  StepFailure failure = attempt([&] {
    place_pieces(0, rank);
    placed = run->place(p, ours.begin, total, give_back);
    if (placed.bad < 0) place_pieces(rank + 1, procs);
  });

  // The first token in file order that is not a number decides, then a file
  // that ends early, then any other failure.
  int64_t bad = placed.bad >= 0 ? placed.bad : std::numeric_limits<int64_t>::max(), first_bad = bad;
  MPI_Allreduce(&bad, &first_bad, 1, MPI_INT64_T, MPI_MIN, comm);
  if (first_bad != std::numeric_limits<int64_t>::max())
    failure = bad != first_bad ? std::nullopt : attempt([&] {
      itsolv::fail_bad_token(path, bad, n, placed.bad_begin, placed.bad_end,
                             first_line + run->newlines_before(placed.bad_begin));
    });
  else if (first < total)
    failure = attempt([&] { itsolv::fail_ends_before(path, last_byte == '\n' ? line - 1 : line, first, n); });
  if (StepFailure f = agree(comm, failure)) return f;

  // The starting values, from the ranges that hold them, to every process.
  std::vector<int> x_counts, x_displs;
  for (const Tokens& r : ranges) {
    const Tokens starts = r.meet(start_tokens(n));
    x_displs.push_back(starts.size() > 0 ? static_cast<int>(starts.begin - 2) : 0);
    x_counts.push_back(static_cast<int>(starts.size()));
  }
  MPI_Allgatherv(MPI_IN_PLACE, 0, MPI_DATATYPE_NULL, p.x.data(), x_counts.data(), x_displs.data(), MPI_FLOAT, comm);
  return std::nullopt;
}

}  // namespace itsolv_mpi

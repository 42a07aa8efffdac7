// Loading a file that can be read at an offset: one byte range per process.
#include <fcntl.h>
#include <malloc.h>
#include <sys/stat.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <vector>

#include "base/failure.hpp"
#include "base/row_range.hpp"
#include "bounded_wait.hpp"
#include "copy_checks.hpp"
#include "load/file_reader.hpp"
#include "load/load_steps.hpp"
#include "message_tags.hpp"
#include "range_values.hpp"
#include "shared_load.hpp"
#include "token_pieces.hpp"

namespace itsolv_mpi {
namespace {

using itsolv::fail;

// Values of other processes' rows, sent as floats in messages of at most
// this many (MPI counts are ints).
constexpr int64_t kMessageFloats = int64_t{1} << 28;

// Appends the values of the range's tokens [from, to) to out.
void copy_range(const RangeValues& r, int64_t from, int64_t to, std::vector<float>& out) {
  for (size_t k = 0; k < r.parts.size() && from < to; ++k) {
    const int64_t start = r.starts[k], end = start + r.parts[k].count;
    if (end <= from) continue;
    const int64_t stop = std::min(to, end);
    itsolv::copy_values(r.parts[k], from - start, stop - start, out);
    from = stop;
  }
}

// Collective: sends every other process the values of its rows' tokens that
// lie in this range (tokens `ours` of the file, the first of which is token
// `first`), and receives theirs: piece k, from process k, in got[k].
std::vector<itsolv::CompactValues> exchange_pieces(const RangeValues& r, int64_t first, Tokens ours, int32_t n,
                                                   MPI_Comm comm) {
  int rank = 0, procs = 1;
  MPI_Comm_rank(comm, &rank);
  MPI_Comm_size(comm, &procs);
  std::vector<std::vector<float>> sent(static_cast<size_t>(procs));
  std::vector<int64_t> send_counts(static_cast<size_t>(procs)), counts(static_cast<size_t>(procs));
  for (int k = 0; k < procs; ++k) {
    const Tokens piece = ours.meet(k == rank ? Tokens{0, 0} : block_tokens(n, procs, k));
    if (piece.size() == 0) continue;
    copy_range(r, piece.begin - first, piece.end - first, sent[static_cast<size_t>(k)]);
    send_counts[static_cast<size_t>(k)] = piece.size();
  }
  MPI_Request sizes;
  MPI_Ialltoall(send_counts.data(), 1, MPI_INT64_T, counts.data(), 1, MPI_INT64_T, comm, &sizes);
  wait_one(comm, sizes);
  std::vector<itsolv::CompactValues> got(static_cast<size_t>(procs));
  std::vector<MPI_Request> requests;
  const auto post = [&](float* data, int64_t count, int k, bool send) {
    for (int64_t at = 0; at < count; at += kMessageFloats) {
      const int length = static_cast<int>(std::min(kMessageFloats, count - at));
      requests.emplace_back();
      if (send)
        MPI_Isend(data + at, length, MPI_FLOAT, k, kRangePieceTag, comm, &requests.back());
      else
        MPI_Irecv(data + at, length, MPI_FLOAT, k, kRangePieceTag, comm, &requests.back());
    }
  };
  for (int k = 0; k < procs; ++k) {
    const size_t at = static_cast<size_t>(k);
    got[at].count = counts[at];
    got[at].wide.resize(static_cast<size_t>(counts[at]));
    post(got[at].wide.data(), counts[at], k, false);
    post(sent[at].data(), send_counts[at], k, true);
  }
  wait_all(comm, requests.data(), static_cast<int>(requests.size()));
  return got;
}

// What every process reads before its range.
struct Head {
  int64_t total = 0, line = 1, after = 0;  // the tokens, the line after the tolerance, the bytes of the head
};

// Collective: opens the file, reads and compares its head, and allocates p.
StepFailure read_head(itsolv::Problem& p, const char* path, int fd, uint64_t size, MPI_Comm comm,
                      const itsolv::LoadOptions& options, Head& head) {
  struct stat st {};
  if (StepFailure f = agree(comm, attempt([&] {
                              if (fd < 0 || fstat(fd, &st) != 0 || S_ISDIR(st.st_mode))
                                fail("Cannot open file %s\n", path);
                            })))
    return f;
  // The count and the tolerance, which every copy must hold alike.
  const StepFailure header = attempt([&] {
    itsolv::Reader reader(fd, path, itsolv::Reader::kHeaderRead, size);
    head.total = itsolv::read_header(p, reader, size);
    head.line = reader.line();
    head.after = static_cast<int64_t>(reader.offset(reader.pos()));
  });
  if (StepFailure f = check_heads(path, head_print(fd, st.st_size, header ? -1 : head.after), comm)) return f;
  return agree(comm, header ? header : attempt([&] { itsolv::allocate(p, options); }));
}

// Collective: the starting values, from the ranges that hold them, to every
// process.
void gather_starts(itsolv::Problem& p, const std::vector<Tokens>& ranges, MPI_Comm comm) {
  std::vector<int> x_counts, x_displs;
  for (const Tokens& r : ranges) {
    const Tokens starts = r.meet(start_tokens(p.num));
    x_displs.push_back(starts.size() > 0 ? itsolv::place_of(starts.begin, p.num).col : 0);
    x_counts.push_back(static_cast<int>(starts.size()));
  }
  MPI_Request request;
  MPI_Iallgatherv(MPI_IN_PLACE, 0, MPI_DATATYPE_NULL, p.x.data(), x_counts.data(), x_displs.data(), MPI_FLOAT, comm,
                  &request);
  wait_one(comm, request);
}

// A range's counts as every process learns them: its tokens, line feeds,
// first bad token, the token of a failure to read (-1: none) and last byte,
// then its seams.
constexpr int kFields = 5 + kSeamFields;

// Collective: every range's counts, range k's at kFields * k. The others wait
// while the slowest process reads its range (of about `left` / procs bytes).
std::vector<int64_t> gather_counts(const RangeValues& range, int procs, uint64_t left, MPI_Comm comm) {
  int64_t mine[kFields] = {range.tokens, range.newlines, range.bad, range.failure ? range.tokens : -1, range.last_byte};
  put_seams(range, mine + 5);
  std::vector<int64_t> counts(kFields * static_cast<size_t>(procs));
  MPI_Request request;
  MPI_Iallgather(mine, kFields, MPI_INT64_T, counts.data(), kFields, MPI_INT64_T, comm, &request);
  wait_one(comm, request, static_cast<double>(left / static_cast<uint64_t>(procs) + 1) / kSlowestReadBytesPerSecond);
  return counts;
}

// Where the ranges lie among the file's tokens and lines.
struct Layout {
  std::vector<Tokens> ranges;                             // each process's tokens, those before the total
  int64_t end = itsolv::kHeaderTokens;                    // the token after the last range
  int64_t line = 1;                                       // the line the last range ends in
  int64_t my_first = itsolv::kHeaderTokens, my_line = 1;  // of this process's range
  int stopper = -1;                                       // the first range that stops the load
};

// The counts of the ranges before its own give each process the index of
// its first token and its first line.
Layout lay_out(const std::vector<int64_t>& counts, int procs, int rank, int64_t total, int64_t line) {
  Layout l;
  l.line = l.my_line = line;
  for (int k = 0; k < procs; ++k) {
    const int64_t* const c = &counts[kFields * static_cast<size_t>(k)];
    if (k == rank) l.my_line = l.line, l.my_first = l.end;
    const bool bad = c[2] >= 0 && l.end + c[2] < total;
    if (l.stopper < 0 && (bad || c[3] >= 0)) l.stopper = k;
    l.ranges.push_back(Tokens{l.end, l.end + c[0]}.meet({0, total}));
    l.end += c[0];
    l.line += c[1];
  }
  return l;
}

// The first token in file order that is not a number decides, or a failure
// to read that comes before it; then a file that ends early, which every
// process sees alike (`newline_last`: the file's last byte is a line feed).
StepFailure stop_failure(const char* path, const Layout& l, const RangeValues& range, bool newline_last, int rank,
                         int64_t total, int32_t n, MPI_Comm comm) {
  if (l.stopper >= 0)
    return agree(comm, rank != l.stopper ? std::nullopt : attempt([&] {
                   if (range.bad < 0 || l.my_first + range.bad >= total) throw itsolv::Failure{*range.failure};
                   itsolv::fail_bad_token(path, l.my_first + range.bad, n, range.bad_text.data(),
                                          range.bad_text.data() + range.bad_text.size(),
                                          l.my_line + range.bad_newlines);
                 }));
  if (l.end < total)
    return attempt([&] { itsolv::fail_ends_before(path, newline_last ? l.line - 1 : l.line, l.end, n); });
  return std::nullopt;
}

// Collective: the values of other processes' rows go to them; then, in file
// order, the values from earlier ranges, this range's (each part's memory
// given back as it is placed), and those from later ranges.
StepFailure place_ranges(itsolv::Problem& p, RangeValues& range, const Layout& l, int rank, int procs, int64_t total,
                         MPI_Comm comm) {
  const Tokens ours = l.ranges[static_cast<size_t>(rank)];
  std::vector<itsolv::CompactValues> pieces = exchange_pieces(range, l.my_first, ours, p.num, comm);
  const Tokens held = block_tokens(p.num, procs, rank);
  const auto place_pieces = [&](int from, int to) {
    for (size_t k = static_cast<size_t>(from); k < static_cast<size_t>(to); ++k)
      itsolv::place_compact(p, {&pieces[k], 1}, l.ranges[k].meet(held).begin, total);
  };
  return agree(comm, attempt([&] {
                 place_pieces(0, rank);
                 // This range's parts, a panel's rows or more at a time.
                 for (size_t k = 0, j = 0; k < range.parts.size(); k = j) {
                   for (int64_t tokens = 0; j < range.parts.size() && tokens < itsolv::panel_tokens(p.num); ++j)
                     tokens += range.parts[j].count;
                   itsolv::place_compact(p, {range.parts.data() + k, j - k}, l.my_first + range.starts[k], total);
                   for (; k < j; ++k) {
                     range.parts[k] = itsolv::CompactValues{};
                     // Blocks freed below others still in use go back to
                     // the system only when asked.
                     if (k % 16 == 15) malloc_trim(0);
                   }
                 }
                 place_pieces(rank + 1, procs);
               }));
}

}  // namespace

StepFailure load_ranges(itsolv::Problem& p, const char* path, int fd, uint64_t size, MPI_Comm comm,
                        itsolv::Workers& workers, const itsolv::LoadOptions& options) {
  int rank = 0, procs = 1;
  MPI_Comm_rank(comm, &rank);
  MPI_Comm_size(comm, &procs);
  itsolv::FileHandle own(rank == 0 ? -1 : open(path, O_RDONLY | O_CLOEXEC));
  if (rank != 0) fd = own.fd();
  Head head;
  if (StepFailure f = read_head(p, path, fd, size, comm, options, head)) return f;
  if (p.num == 0) return std::nullopt;

  // Bytes [head.after, size) in one range per process; each reads its own
  // into compact values as it counts it.
  const uint64_t after_header = static_cast<uint64_t>(head.after), left = size - after_header;
  const auto cut = [&](int k) { return after_header + itsolv::split_point<uint64_t>(left, procs, k); };
  RangeValues range = read_range_values(fd, path, cut(rank), cut(rank + 1), size, workers, options);
  const std::vector<int64_t> counts = gather_counts(range, procs, left, comm);
  const auto fields = [&](int k) { return &counts[kFields * static_cast<size_t>(k)]; };
  if (StepFailure f = check_seams(
          path, procs, [&](int k) { return fields(k) + 5; }, [&](int k) { return fields(k)[3] >= 0; }, cut))
    return f;
  const Layout l = lay_out(counts, procs, rank, head.total, head.line);
  // The last range's last byte is the file's.
  const bool newline_last = fields(procs - 1)[4] == '\n';
  if (StepFailure f = stop_failure(path, l, range, newline_last, rank, head.total, p.num, comm)) return f;
  if (StepFailure f = place_ranges(p, range, l, rank, procs, head.total, comm)) return f;
  gather_starts(p, l.ranges, comm);
  return std::nullopt;
}

}  // namespace itsolv_mpi

// Loading a file that cannot be read at an offset (a pipe, a FIFO, a
// terminal): process 0 reads it and hands every chunk of whole tokens to
// every process, which places the values of its own rows. Every process thus
// sees the same bytes and meets the same refusals; the load is not shared.
#include <algorithm>
#include <cstring>
#include <vector>

#include "failure.hpp"
#include "file_reader.hpp"
#include "load_steps.hpp"
#include "shared_load.hpp"
#include "text_run.hpp"

namespace itsolv_mpi {
namespace {

// Process 0's side: the next chunk of whole tokens of the file, or an empty
// one at its end.
class ChunkSource {
 public:
  ChunkSource(itsolv::Reader& in, size_t capacity) : in_(in), capacity_(capacity) {}

  std::pair<const char*, const char*> next() {
    for (;;) {
      if (in_.pos() == in_.end()) {
        if (!in_.fill(capacity_)) return {nullptr, nullptr};
        continue;
      }
      const char* const from = in_.data() + in_.pos();
      const char* cut = in_.data() + in_.end();
      if (!in_.eof()) {
        cut = itsolv::complete_tokens_end(from, cut);
        if (cut == from) {
          in_.too_long(in_.end() - in_.pos());
          in_.fill(capacity_ * 2);  // grows the buffer round a long token
          continue;
        }
      }
      in_.consume(static_cast<size_t>(cut - in_.data()), 0);
      return {from, cut};
    }
  }

 private:
  itsolv::Reader& in_;
  size_t capacity_;
};

}  // namespace

StepFailure load_stream(itsolv::Problem& p, const char* path, int fd, MPI_Comm comm, itsolv::Workers& workers,
                        const itsolv::LoadOptions& options) {
  int rank = 0;
  MPI_Comm_rank(comm, &rank);
  std::optional<itsolv::Reader> in;
  // The header on process 0, then its values on every process.
  int64_t total = 0, line = 1;
  if (StepFailure f = agree(comm, attempt([&] {
        if (rank != 0) return;
        in.emplace(fd, path, std::min(options.part_bytes, size_t{1} << 16), 0);
        total = itsolv::read_header(p, *in, 0);
        line = in->line();
      })))
    return f;
  int64_t header[3] = {p.num, total, line};
  MPI_Bcast(header, 3, MPI_INT64_T, 0, comm);
  MPI_Bcast(&p.err, 1, MPI_FLOAT, 0, comm);
  p.num = static_cast<int32_t>(header[0]);
  total = header[1];
  line = header[2];
  if (StepFailure f = agree(comm, attempt([&] { itsolv::allocate(p, options); }))) return f;

  // Chunk by chunk; a length of -1 stops every process, when process 0
  // could not read on, or the values are complete, or the file ended.
  std::optional<ChunkSource> source;
  if (rank == 0) source.emplace(*in, options.part_bytes * static_cast<size_t>(workers.size()));
  std::vector<char> chunk;
  int64_t t = 2;
  char last_byte = '0';  // the tolerance's last (the file's last so far)
  StepFailure failure;  // this process's own: it still takes every chunk
  for (;;) {
    int64_t length = -1;
    const char* from = nullptr;
    if (rank == 0 && !failure && t < total) {
      failure = attempt([&] {
        const auto [begin, end] = source->next();
        from = begin;
        if (begin != nullptr) length = end - begin;
      });
      if (failure) length = -1;
    }
    MPI_Bcast(&length, 1, MPI_INT64_T, 0, comm);
    if (length < 0) break;
    chunk.assign(static_cast<size_t>(length) + itsolv::Reader::kSlack, ' ');
    if (rank == 0) std::memcpy(chunk.data(), from, static_cast<size_t>(length));
    // Chunks are a few megabytes: their length fits an int.
    MPI_Bcast(chunk.data(), static_cast<int>(length), MPI_CHAR, 0, comm);
    if (failure) continue;
    const char* const begin = chunk.data();
    failure = attempt([&] {
      itsolv::TextRun run(begin, begin + length, workers, options.part_bytes);
      const itsolv::Placed placed = run.place(p, t, total);
      if (placed.bad >= 0)
        itsolv::fail_bad_token(path, placed.bad, p.num, placed.bad_begin, placed.bad_end,
                               line + itsolv::count_newlines(begin, placed.bad_begin));
      t += run.tokens();
      line += run.newlines();
      if (length > 0) last_byte = begin[length - 1];
    });
  }
  // Process 0's failure, if any, is the lowest-numbered one and decides.
  if (!failure && t < total)
    failure = attempt([&] { itsolv::fail_ends_before(path, last_byte == '\n' ? line - 1 : line, t, p.num); });
  return agree(comm, failure);
}

}  // namespace itsolv_mpi

// Loading a file that cannot be read at an offset (a pipe, a FIFO, a
// terminal): process 0 reads it chunk by chunk, reads every token (so that
// it meets every refusal itself) and places its own rows' values, and hands
// every other process the starting values and the tokens of its rows, as
// text. The load is not shared.
#include <algorithm>
#include <vector>

#include "base/failure.hpp"
#include "bounded_wait.hpp"
#include "load/chunk_source.hpp"
#include "load/load_steps.hpp"
#include "load/text_run.hpp"
#include "message_tags.hpp"
#include "shared_load.hpp"
#include "token_pieces.hpp"

namespace itsolv_mpi {
namespace {

// Point-to-point, each waited for within the bound.
void send(const void* data, int count, MPI_Datatype type, int to, MPI_Comm comm) {
  MPI_Request request;
  MPI_Isend(data, count, type, to, kStreamPieceTag, comm, &request);
  wait_one(comm, request);
}
void receive(void* data, int count, MPI_Datatype type, MPI_Comm comm) {
  MPI_Request request;
  MPI_Irecv(data, count, type, 0, kStreamPieceTag, comm, &request);
  wait_one(comm, request);
}

// Process 0's side: sends process k of `procs` the pieces of the chunk
// [begin, end) that it needs (of the tokens `chunk`, those before `total`
// only), or an empty piece when it needs none.
void send_pieces(const char* begin, const char* end, Tokens chunk, int64_t total, int32_t n, int k, int procs,
                 MPI_Comm comm) {
  const Tokens here = chunk.meet({0, total});
  int64_t header[2] = {chunk.begin, 0};
  for (const Tokens wanted : {start_tokens(n), block_tokens(n, procs, k)}) {
    const Tokens piece = here.meet(wanted);
    if (piece.size() == 0) continue;
    const char* const from = token_start(begin, end, piece.begin - chunk.begin, chunk.size());
    const char* const to = token_start(begin, end, piece.end - chunk.begin, chunk.size());
    header[0] = piece.begin, header[1] = to - from;
    send(header, 2, MPI_INT64_T, k, comm);
    // Chunks are a few megabytes: their length fits an int.
    send(from, static_cast<int>(to - from), MPI_CHAR, k, comm);
  }
  if (header[1] == 0) send(header, 2, MPI_INT64_T, k, comm);
}

// Collective: process 0 reads the header into p, which every process then
// holds with the number of tokens in all, and every process allocates p.
StepFailure share_header(itsolv::Problem& p, const char* path, int fd, MPI_Comm comm,
                         const itsolv::LoadOptions& options, std::optional<itsolv::Reader>& in, int64_t& total) {
  int rank = 0;
  MPI_Comm_rank(comm, &rank);
  if (StepFailure f = agree(comm, attempt([&] {
                              if (rank != 0) return;
                              in.emplace(fd, path, std::min(options.part_bytes, itsolv::Reader::kFirstRead), 0);
                              total = itsolv::read_header(p, *in, 0);
                            })))
    return f;
  int64_t header[2] = {p.num, total};
  MPI_Request sent[2];
  MPI_Ibcast(header, 2, MPI_INT64_T, 0, comm, &sent[0]);
  MPI_Ibcast(&p.err, 1, MPI_FLOAT, 0, comm, &sent[1]);
  wait_all(comm, sent, 2);
  p.num = static_cast<int32_t>(header[0]);
  total = header[1];
  return agree(comm, attempt([&] { itsolv::allocate(p, options); }));
}

// The other processes' side: places the pieces process 0 sends until the
// end of the file. After a failure of its own it still takes every piece.
StepFailure receive_pieces(itsolv::Problem& p, int64_t total, MPI_Comm comm, itsolv::Workers& workers,
                           const itsolv::LoadOptions& options) {
  StepFailure failure;
  std::vector<char> text;
  for (int64_t piece[2];;) {
    receive(piece, 2, MPI_INT64_T, comm);
    if (piece[1] < 0) break;
    if (piece[1] == 0) continue;
    text.assign(static_cast<size_t>(piece[1]) + itsolv::Reader::kSlack, ' ');
    receive(text.data(), static_cast<int>(piece[1]), MPI_CHAR, comm);
    if (failure) continue;
    failure = attempt([&] {
      itsolv::TextRun run(text.data(), text.data() + piece[1], workers, options.part_bytes, options.isa);
      run.place(p, piece[0], total);  // process 0 has read every token
    });
  }
  return agree(comm, failure);
}

// Process 0's side: reads the file chunk by chunk, places its own rows'
// values and sends every other process its pieces, then the end.
StepFailure read_and_send(itsolv::Problem& p, const char* path, itsolv::Reader& in, int64_t total, MPI_Comm comm,
                          itsolv::Workers& workers, const itsolv::LoadOptions& options) {
  int procs = 1;
  MPI_Comm_size(comm, &procs);
  const int32_t n = p.num;
  itsolv::ChunkSource source(in);
  const size_t capacity = options.part_bytes * static_cast<size_t>(workers.size());
  StepFailure failure;
  int64_t t = itsolv::kHeaderTokens;
  while (!failure && t < total) {
    failure = attempt([&] {
      const auto [begin, end] = source.next(capacity);
      if (begin == end) itsolv::fail_ends_before(path, in.last_line(), t, n);
      itsolv::TextRun run(begin, end, workers, options.part_bytes, options.isa);
      const itsolv::Placed placed = run.place(p, t, total);
      if (placed.bad >= 0)
        itsolv::fail_bad_token(path, placed.bad, n, placed.bad_begin, placed.bad_end,
                               in.line() + run.newlines_before(placed.bad_begin));
      for (int k = 1; k < procs; ++k) send_pieces(begin, end, Tokens{t, t + run.tokens()}, total, n, k, procs, comm);
      in.consume(static_cast<size_t>(end - in.data()), run.newlines());
      t += run.tokens();
    });
  }
  for (int k = 1; k < procs; ++k) {
    const int64_t end[2] = {0, -1};
    send(end, 2, MPI_INT64_T, k, comm);
  }
  // Process 0's failure, if any, is the lowest-numbered one and decides.
  return agree(comm, failure);
}

}  // namespace

StepFailure load_stream(itsolv::Problem& p, const char* path, int fd, MPI_Comm comm, itsolv::Workers& workers,
                        const itsolv::LoadOptions& options) {
  int rank = 0;
  MPI_Comm_rank(comm, &rank);
  std::optional<itsolv::Reader> in;
  int64_t total = 0;
  if (StepFailure f = share_header(p, path, fd, comm, options, in, total)) return f;
  // Chunk by chunk, each piece as {first token, length} and its bytes; a
  // length of -1 ends the file for the process it is sent to, one of 0
  // tells it that a chunk was read (it waits no longer than the bound for
  // each chunk).
  if (rank != 0) return receive_pieces(p, total, comm, workers, options);
  return read_and_send(p, path, *in, total, comm, workers, options);
}

}  // namespace itsolv_mpi

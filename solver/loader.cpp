// Loading, stage 5: the driver. Reads the header, allocates, then runs the
// other stages over chunks of the file, widening the matrix's storage and
// placing a chunk again when a value needs it, and reports refusals.
#include "loader.hpp"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <new>
#include <string>
#include <vector>

#include "failure.hpp"
#include "file_reader.hpp"
#include "load_steps.hpp"
#include "number_token.hpp"
#include "row_stage.hpp"
#include "token_count.hpp"
#include "value_placement.hpp"

namespace itsolv {
namespace {

constexpr size_t kFirstRead = size_t{1} << 16;  // the header is read from this
constexpr size_t kFloatChunks = 4;              // chunks of float matrices, in team parts

// One team member's share of a chunk of text.
struct Part {
  const char* begin;
  const char* end;
  TokenCount count;
  int64_t first = 0;  // index of its first token in the file
  Placed placed;
};

[[noreturn]] void ends_before(const Reader& in, int64_t t, int32_t n) {
  fail_ends_before(in.path(), in.last_line(), t, n);
}

[[noreturn]] void bad_token(const Reader& in, int64_t t, int32_t n, const char* begin, const char* end, int64_t line) {
  fail_bad_token(in.path(), t, n, begin, end, line);
}

}  // namespace

void fail_ends_before(const char* path, int64_t last_line, int64_t t, int32_t n) {
  fail("Cannot read file %s: the file ends at line %lld before %s\n", path, static_cast<long long>(last_line),
       describe(t, n).c_str());
}

void fail_bad_token(const char* path, int64_t t, int32_t n, const char* begin, const char* end, int64_t line) {
  fail("Cannot read file %s: expected a number for %s at line %lld, found %s\n", path, describe(t, n).c_str(),
       static_cast<long long>(line), quote(begin, end).c_str());
}

// Reads the count and the tolerance into p and refuses a count that the
// file (of `size` bytes, 0 when not known) cannot hold. Gives the number of
// tokens of the whole problem.
int64_t read_header(Problem& p, Reader& in, uint64_t size) {
  const char* begin = nullptr;
  const char* end = nullptr;
  // The count decides first. A file without a token is the empty problem,
  // as is a count of 0 whatever follows it: both load with no values, and
  // the pre-check refuses them. A negative count asks for more memory than
  // exists, whatever follows it.
  int32_t num = 0;
  if (in.next_token(begin, end) && !parse_count(begin, end, num))
    fail("Cannot read file %s: expected %s (a whole number from -2147483648 to 2147483647) at line %lld, found %s\n",
         in.path(), describe(0, 0).c_str(), static_cast<long long>(in.line()), quote(begin, end).c_str());
  if (num < 0) fail("Cannot allocate a!\n");
  p.num = num;
  if (num == 0) return 2;
  if (!in.next_token(begin, end)) ends_before(in, 1, 0);
  float err = 0.0f;
  if (!parse_float(begin, end, err)) bad_token(in, 1, 0, begin, end, in.line());
  p.err = err;

  // Every value takes at least one byte and a separator before it.
  const uint64_t values = static_cast<uint64_t>(num) * (static_cast<uint64_t>(num) + 2);
  if (size > 0) {
    const uint64_t done = in.offset(in.pos());
    const uint64_t left = size > done ? size - done : 0;
    if (left / 2 < values)
      fail(
          "Cannot read file %s: the file is too short for %d variables: their values need at least %llu more bytes, "
          "and %llu remain\n",
          in.path(), num, static_cast<unsigned long long>(values) * 2, static_cast<unsigned long long>(left));
  }
  return 2 + static_cast<int64_t>(values);
}

void allocate(Problem& p, const LoadOptions& options) {
  const int32_t num = p.num;
  const int blocks = std::max(options.blocks, 1);
  const int block = std::clamp(options.block, 0, blocks - 1);
  if (!p.a.allocate(num, split(num, blocks, block)) || !p.diag.allocate(num)) fail("Cannot allocate a!\n");
  if (!p.x.allocate(num)) fail("Cannot allocate x!\n");
  if (!p.curr.allocate(num)) fail("Cannot allocate curr!\n");
  if (!p.b.allocate(num)) fail("Cannot allocate b!\n");
}

namespace {

// The memory of the matrix's panels that hold rows [begin, end), committed
// in pieces that the team takes among the parts it places. The system
// zeroes every page it hands out, which costs about as much as reading the
// file: taken as items, that work is shared evenly, rather than falling on
// whichever member first stores into a page while the others wait for it.
// Only the rows the chunk reaches are committed, so that a stream that
// ends long before its count is reached takes little memory.
class MatrixCommit {
 public:
  MatrixCommit(Matrix& a, RowRange rows) {
    if (rows.size() <= 0) return;
    const size_t bytes = storage_bytes(a.storage());
    const int32_t p0 = (rows.begin - a.first_row()) / Matrix::kPanel;
    const int32_t p1 = (rows.end - 1 - a.first_row()) / Matrix::kPanel + 1;
    const uintptr_t from = reinterpret_cast<uintptr_t>(a.data<char>() + a.panel_offset(p0) * bytes) & ~(kPage - 1);
    const uintptr_t to =
        reinterpret_cast<uintptr_t>(a.data<char>() + std::min(a.panel_offset(p1), a.elements()) * bytes);
    begin_ = reinterpret_cast<char*>(from);
    bytes_ = to - from;
  }
  size_t pieces() const { return (bytes_ + kPiece - 1) / kPiece; }
  // Commits piece k (any member).
  void commit(size_t k) const {
    char* const piece = begin_ + k * kPiece;
    const size_t length = std::min(kPiece, bytes_ - k * kPiece);
    if (madvise(piece, length, MADV_POPULATE_WRITE) == 0) return;
    if (errno != EINVAL) {  // EINVAL: a system without it, where touching does the same
      refused_.store(true, std::memory_order_relaxed);
      return;
    }
    for (size_t i = 0; i < length; i += kPage) static_cast<volatile char*>(piece)[i] = 0;
  }
  // Once the pieces are done: refuses a matrix that memory could not hold.
  void check() const {
    if (refused_.load(std::memory_order_relaxed)) fail("Cannot allocate a!\n");
  }

 private:
  static constexpr size_t kPage = 4096;
  static constexpr size_t kPiece = size_t{2} << 20;
  char* begin_ = nullptr;
  size_t bytes_ = 0;
  mutable std::atomic<bool> refused_{false};
};

// Reads the values after the header chunk by chunk, each chunk split among
// the team: counting its tokens gives each part its first token index, and
// then each part places its values.
class ChunkLoader {
 public:
  ChunkLoader(Problem& p, Reader& reader, int64_t total, uint64_t size, Workers& workers, const LoadOptions& options,
              Progress* progress)
      : p_(p), in_(reader), total_(total), size_(size), workers_(workers), options_(options), progress_(progress) {}

  void run() {
    int64_t t = 2;  // index of the next token
    while (t < total_) {
      if (in_.pos() == in_.end()) {
        if (!in_.fill(chunk_capacity())) break;
        continue;
      }
      // Complete tokens end at the last white space of the buffer, or at
      // the end of the file.
      const char* const from = in_.data() + in_.pos();
      const char* cut = in_.data() + in_.end();
      if (!in_.eof()) {
        cut = complete_tokens_end(from, cut);
        if (cut == from) {
          in_.too_long(in_.end() - in_.pos());
          in_.fill(chunk_capacity());  // grows the buffer round a long token
          continue;
        }
      }
      t = place_chunk(t, static_cast<size_t>(cut - in_.data()));
    }
    if (t < total_) ends_before(in_, t, p_.num);
  }

 private:
  size_t chunk_capacity() const {
    const size_t chunk = options_.part_bytes * static_cast<size_t>(workers_.size());
    // A float chunk spans a few bands of rows (see bands()), so that the
    // team shares it.
    if (p_.a.storage() == Storage::f32) return chunk * kFloatChunks;
    // Compact chunks stay small beside the matrix (an eighth of it at most),
    // so that a small problem is not outweighed by its read buffer.
    return std::max(chunk, std::min(chunk * options_.compact_chunks, p_.a.bytes() / 8));
  }

  // Splits data()[pos() .. cut) into parts that the members take as they
  // come (a few for each, so that one held up by another process delays
  // only its own), each ending at a token boundary.
  std::vector<Part> split_chunk(size_t cut) {
    constexpr int kPartsPerMember = 16;
    const char* const from = in_.data() + in_.pos();
    const char* const to = in_.data() + cut;
    const size_t length = cut - in_.pos();
    const int members = length >= options_.team_bytes ? workers_.size() * kPartsPerMember : 1;
    std::vector<Part> parts(static_cast<size_t>(members));
    const char* bound = from;
    for (int k = 0; k < members; ++k) {
      const char* next =
          k + 1 == members ? to : from + length * static_cast<size_t>(k + 1) / static_cast<size_t>(members);
      next = token_boundary(from, std::max(next, bound), to);
      parts[static_cast<size_t>(k)].begin = bound;
      parts[static_cast<size_t>(k)].end = next;
      bound = next;
    }
    return parts;
  }

  // Whether the placed parts' values all fit the matrix's storage (else
  // need_ says what they need); refuses the first token that is not a
  // number.
  bool fits(const std::vector<Part>& parts, const char* from) {
    need_ = p_.a.storage();
    for (const Part& part : parts) {
      if (part.placed.bad >= 0)
        bad_token(in_, part.placed.bad, p_.num, part.placed.bad_begin, part.placed.bad_end,
                  in_.line() + count_newlines(from, part.placed.bad_begin));
      need_ = std::max(need_, part.placed.need);
    }
    return need_ <= p_.a.storage();
  }

  // Places the parts of tokens [t, end) through the
  // stage, each member taking parts as they come; the member that places
  // the last part a band of rows needs moves that band into the matrix
  // (while its values are still in the cache), so that the team meets
  // once. Gives fits(): when a value needs wider storage, the chunk is
  // placed again and every band moved again.
  bool stage_parts(std::vector<Part>& parts, int64_t t, int64_t end) {
    if (!stage_.prepare(p_.a.storage(), t, end)) throw std::bad_alloc();
    const StagedBands bands = staged_bands(p_, stage_, options_.move_columns);
    const size_t band_count = bands.count() / static_cast<size_t>(bands.blocks);
    // The bands each part reaches, and how many parts each band waits for.
    std::vector<std::pair<size_t, size_t>> reach(parts.size(), {0, 0});
    std::vector<std::atomic<size_t>> waiting(band_count);
    for (size_t k = 0; k < parts.size(); ++k) {
      const int64_t count = std::min(parts[k].first + parts[k].count.tokens, end) - parts[k].first;
      const RowRange rows = count > 0 ? held_rows_of(p_, parts[k].first, parts[k].first + count) : RowRange{};
      if (rows.size() <= 0) continue;
      reach[k] = {band_index(bands, rows.begin), band_index(bands, rows.end - 1) + 1};
      for (size_t b = reach[k].first; b < reach[k].second; ++b) waiting[b].fetch_add(1, std::memory_order_relaxed);
    }
    auto move = [&](size_t b) {
      for (size_t j = 0; j < static_cast<size_t>(bands.blocks); ++j)
        move_staged_band(p_, stage_, bands, b * static_cast<size_t>(bands.blocks) + j);
    };
    // The memory the moves will store into first, then the parts.
    const MatrixCommit memory(p_.a, {bands.begin, bands.end});
    const size_t pieces = memory.pieces();
    workers_.for_each(pieces + parts.size(), [&](size_t k) {
      if (k < pieces) return memory.commit(k);
      Part& part = parts[k - pieces];
      const int64_t count = std::min(part.first + part.count.tokens, end) - part.first;
      part.placed = count > 0 ? place_values(p_, part.begin, part.first, count, options_.isa, &stage_) : Placed{};
      for (size_t b = reach[k - pieces].first; b < reach[k - pieces].second; ++b)
        if (waiting[b].fetch_sub(1, std::memory_order_acq_rel) == 1) move(b);
    });
    if (!fits(parts, in_.data() + in_.pos())) return false;
    memory.check();
    return true;
  }

  // Band b of `bands` counted from its first, for a row in it.
  static size_t band_index(const StagedBands& bands, int32_t row) {
    return static_cast<size_t>((row - bands.origin) / bands.height - bands.first);
  }

  // Places the complete tokens in data()[pos() .. cut), whose first is token
  // t; returns the index of the next token.
  int64_t place_chunk(int64_t t, size_t cut) {
    std::vector<Part> parts = split_chunk(cut);
    workers_.for_each(parts.size(),
                      [&](size_t k) { parts[k].count = count_tokens(parts[k].begin, parts[k].end, options_.isa); });
    int64_t next = t;
    for (Part& part : parts) {
      part.first = next;
      next += part.count.tokens;
    }
    const int64_t end = std::min(next, total_);  // tokens past the last value are not read
    bool widened = false;
    for (;;) {
      if (stage_parts(parts, t, end)) break;
      // A coefficient does not fit the compact storage: widen what has been
      // stored so far and place this chunk again. That is safe because a
      // value's place follows from its token index alone, so placing a token
      // twice stores the same value in the same place; widening converts
      // every value stored so far exactly; and nothing after the chunk has
      // been placed yet. What must be widened is every row up to and
      // including the chunk's last one: that row may have begun in an
      // earlier chunk, whose values this chunk does not place again.
      if (!p_.a.widen(need_, rows_reached(end, p_.num))) fail("Cannot allocate a!\n");
      widened = true;
    }
    int64_t newlines = 0;
    for (const Part& part : parts) newlines += part.count.newlines;
    in_.consume(cut, newlines);
    // Memory for the float matrix comes first: the read buffer and the
    // stage give back what they took for compact chunks.
    if (widened && p_.a.storage() == Storage::f32) {
      in_.shrink(chunk_capacity());
      stage_.release();
    }
    // The buffer may have moved: its position, not `cut`, gives the offset.
    if (progress_ != nullptr) progress_->advance(in_.offset(in_.pos()), size_);
    return next;
  }

  Problem& p_;
  Reader& in_;
  const int64_t total_;  // tokens of the whole problem
  const uint64_t size_;  // the file's size, 0 when not known
  Workers& workers_;
  const LoadOptions& options_;
  Progress* progress_;
  RowStage stage_;
  Storage need_ = Storage::i8;
};

}  // namespace

void get_input(Problem& p, const char* path, Workers& workers, const LoadOptions& options, Progress* progress) {
  FileHandle file(open(path, O_RDONLY | O_CLOEXEC));
  struct stat st {};
  if (file.fd() < 0 || fstat(file.fd(), &st) != 0 || S_ISDIR(st.st_mode)) fail("Cannot open file %s\n", path);
  // The progress shown, if any, ends with the loading, whichever way.
  struct Finish {
    Progress* progress;
    ~Finish() {
      if (progress != nullptr) progress->finish();
    }
  } finish{progress};
  try {
    // Some files (under /proc) call themselves regular with size 0 and still
    // hold bytes: their size is as unknown as a pipe's.
    const uint64_t size = S_ISREG(st.st_mode) && st.st_size > 0 ? static_cast<uint64_t>(st.st_size) : 0;
    Reader reader(file.fd(), path, std::min(options.part_bytes, kFirstRead), size);
    reader.share_reads(&workers);
    const int64_t total = read_header(p, reader, size);
    allocate(p, options);
    ChunkLoader(p, reader, total, size, workers, options, progress).run();
  } catch (const std::bad_alloc&) {
    fail("Cannot read file %s: not enough memory to read it\n", path);
  }
}

}  // namespace itsolv

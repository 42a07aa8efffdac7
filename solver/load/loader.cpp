// Loading, stage 5: the driver. Reads the header and allocates (see
// load_steps.hpp), then runs the other stages over chunks of the file,
// widening the matrix's storage and placing a chunk again when a value
// needs it (widening.hpp), and reports refusals.
#include "load/loader.hpp"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <new>
#include <vector>

#include "base/failure.hpp"
#include "load/chunk_source.hpp"
#include "load/file_reader.hpp"
#include "load/load_steps.hpp"
#include "load/row_stage.hpp"
#include "load/text_parts.hpp"
#include "load/token_place.hpp"
#include "load/value_placement.hpp"
#include "load/widening.hpp"
#include "matrix/matrix_commit.hpp"
#include "parse/token_count.hpp"

namespace itsolv {
namespace {

constexpr size_t kFloatChunks = 4;  // chunks of float matrices, in team parts

// The moves of a chunk's staged bands into the matrix, each block of
// columns taken by one member, its memory committed by that member just
// before the move.
class BandMoves {
 public:
  BandMoves(Problem& p, const RowStage& stage, const StagedBands& bands, Isa isa)
      : p_(p), stage_(stage), bands_(bands), isa_(isa), waiting_(bands.count() / blocks()), taken_(waiting_.size()) {}
  // Band b counted from the first, for a row in it.
  size_t band_of(int32_t row) const {
    return static_cast<size_t>((row - bands_.origin) / bands_.height - bands_.first);
  }
  void wait_for_part(size_t b) { waiting_[b].fetch_add(1, std::memory_order_relaxed); }
  // A part that band b waits for is placed: true when it was the last.
  bool part_placed(size_t b) {
    if (waiting_[b].fetch_sub(1, std::memory_order_acq_rel) != 1) return false;
    waiting_[b].notify_all();
    return true;
  }
  // Moves the blocks of whole band b that no member has taken.
  void move(size_t b) {
    for (size_t j; !refused() && (j = taken_[b].fetch_add(1, std::memory_order_relaxed)) < blocks();) {
      const size_t k = b * blocks() + j;
      if (!commit_block(p_.a, bands_.rows(b), bands_.columns(k, p_.num))) return refused_.store(true);
      move_staged_band(p_, stage_, bands_, k, isa_);
    }
  }
  // Once every part is taken: moves blocks of each band as it becomes
  // whole (every part it waits for is being placed).
  void help() {
    for (size_t b = 0; b < waiting_.size(); ++b) {
      for (size_t left; (left = waiting_[b].load(std::memory_order_acquire)) != 0;)
        waiting_[b].wait(left, std::memory_order_acquire);
      move(b);
    }
  }
  bool refused() const { return refused_.load(std::memory_order_relaxed); }

 private:
  size_t blocks() const { return static_cast<size_t>(bands_.blocks); }

  Problem& p_;
  const RowStage& stage_;
  const StagedBands bands_;
  const Isa isa_;
  std::vector<std::atomic<size_t>> waiting_;  // parts each band waits for
  std::vector<std::atomic<size_t>> taken_;    // blocks of each band taken
  std::atomic<bool> refused_{false};
};

// Reads the values after the header chunk by chunk, each chunk split among
// the team: counting its tokens gives each part its first token index, and
// then each part places its values.
class ChunkLoader {
 public:
  ChunkLoader(Problem& p, Reader& reader, int64_t total, uint64_t size, Workers& workers, const LoadOptions& options,
              common::Progress* progress)
      : p_(p), in_(reader), total_(total), size_(size), workers_(workers), options_(options), progress_(progress) {}

  void run() {
    ChunkSource source(in_);
    int64_t t = kHeaderTokens;  // index of the next token
    while (t < total_) {
      const TextSpan chunk = source.next(chunk_capacity());
      if (chunk.empty()) break;
      t = place_chunk(t, chunk);
    }
    if (t < total_) fail_ends_before(in_.path(), in_.last_line(), t, p_.num);
  }

 private:
  size_t chunk_capacity() const {
    const size_t chunk = options_.part_bytes * static_cast<size_t>(workers_.size());
    // A float chunk spans a few bands of rows (see bands()), so that the
    // team shares it, and stays under a 64th of the matrix: a float matrix
    // takes as much memory as a program that stores it plainly, and the
    // read buffer and the stage are most of what comes on top.
    if (p_.a.storage() == Storage::f32) return std::max(chunk, std::min(chunk * kFloatChunks, p_.a.bytes() / 64));
    // Compact chunks stay small beside the matrix (a sixteenth of it at
    // most), so that the read buffer and the stage, which holds a value for
    // each of the chunk's tokens, keep the peak memory of a generated
    // problem of a few thousand variables under 0.3 times that of a
    // program that stores floats.
    return std::max(chunk, std::min(chunk * options_.compact_chunks, p_.a.bytes() / 16));
  }

  // The widest storage the placed parts' values need; refuses the first
  // token that is not a number.
  Storage needed(const std::vector<Part>& parts) const {
    const PartsPlaced placed = parts_placed(parts, p_.a.storage());
    if (const Placed* bad = placed.bad != nullptr ? &placed.bad->placed : nullptr)
      fail_bad_token(in_.path(), bad->bad, p_.num, bad->bad_begin, bad->bad_end,
                     in_.line() + count_newlines(in_.data() + in_.pos(), bad->bad_begin));
    return placed.need;
  }

  // Places the parts of tokens [t, end) through the stage, each member
  // taking parts as they come; the member that places the last part a band
  // of rows needs moves that band into the matrix (while its values are
  // still in the cache), a block of columns at a time, and a member out of
  // parts takes blocks of the bands as they become whole, so that the last
  // band's move is shared too and the team meets once. Gives needed():
  // when a value needs wider storage, the chunk is placed again and every
  // band moved again.
  Storage stage_parts(std::vector<Part>& parts, int64_t t, int64_t end) {
    if (!stage_.prepare(p_.a.storage(), t, end)) throw std::bad_alloc();
    BandMoves moves(p_, stage_, staged_bands(p_, stage_, options_.move_columns), options_.isa);
    // The bands each part reaches, and how many parts each band waits for.
    std::vector<std::pair<size_t, size_t>> reach(parts.size(), {0, 0});
    for (size_t k = 0; k < parts.size(); ++k) {
      const int64_t count = std::min(parts[k].first + parts[k].count.tokens, end) - parts[k].first;
      const RowRange rows = count > 0 ? held_rows_of(p_, parts[k].first, parts[k].first + count) : RowRange{};
      if (rows.size() <= 0) continue;
      reach[k] = {moves.band_of(rows.begin), moves.band_of(rows.end - 1) + 1};
      for (size_t b = reach[k].first; b < reach[k].second; ++b) moves.wait_for_part(b);
    }
    std::atomic<size_t> next{0};
    workers_.share([&](int) {
      for (size_t k; (k = next.fetch_add(1, std::memory_order_relaxed)) < parts.size();) {
        Part& part = parts[k];
        const int64_t count = std::min(part.first + part.count.tokens, end) - part.first;
        part.placed = count > 0 ? place_values(p_, part.begin, part.first, count, options_.isa, &stage_) : Placed{};
        for (size_t b = reach[k].first; b < reach[k].second; ++b)
          if (moves.part_placed(b)) moves.move(b);
      }
      moves.help();
    });
    const Storage need = needed(parts);
    if (moves.refused()) fail("Cannot allocate a!\n");
    return need;
  }

  // Places the complete tokens of `chunk`, at the reader's position, whose
  // first is token t, in parts that the members take as they come (a few
  // for each, so that one held up by another process delays only its own);
  // returns the index of the next token.
  int64_t place_chunk(int64_t t, TextSpan chunk) {
    constexpr size_t kPartsPerMember = 16;
    const size_t length = static_cast<size_t>(chunk.end - chunk.begin);
    std::vector<Part> parts =
        split_text(chunk.begin, chunk.end,
                   length >= options_.team_bytes ? static_cast<size_t>(workers_.size()) * kPartsPerMember : 1);
    const TokenCount counted = count_parts(parts, t, workers_, options_.isa, [](size_t) {});
    const int64_t next = t + counted.tokens;
    const int64_t end = std::min(next, total_);  // tokens past the last value are not read
    const bool widened = place_widening(p_, end, [&] { return stage_parts(parts, t, end); });
    in_.consume(static_cast<size_t>(chunk.end - in_.data()), counted.newlines);
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
  common::Progress* progress_;
  RowStage stage_;
};

}  // namespace

void get_input(Problem& p, const char* path, Workers& workers, const LoadOptions& options, common::Progress* progress) {
  FileHandle file(open(path, O_RDONLY | O_CLOEXEC));
  struct stat st {};
  if (file.fd() < 0 || fstat(file.fd(), &st) != 0 || S_ISDIR(st.st_mode)) fail("Cannot open file %s\n", path);
  // The progress shown, if any, ends with the loading, whichever way.
  struct Finish {
    common::Progress* progress;
    ~Finish() {
      if (progress != nullptr) progress->finish();
    }
  } finish{progress};
  try {
    // Some files (under /proc) call themselves regular with size 0 and still
    // hold bytes: their size is as unknown as a pipe's.
    const uint64_t size = S_ISREG(st.st_mode) && st.st_size > 0 ? static_cast<uint64_t>(st.st_size) : 0;
    Reader reader(file.fd(), path, std::min(options.part_bytes, Reader::kFirstRead), size);
    reader.share_reads(&workers);
    const int64_t total = read_header(p, reader, size);
    allocate(p, options);
    ChunkLoader(p, reader, total, size, workers, options, progress).run();
  } catch (const std::bad_alloc&) {
    fail("Cannot read file %s: not enough memory to read it\n", path);
  }
}

}  // namespace itsolv

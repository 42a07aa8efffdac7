#pragma once

// Formats a generated problem file: the count, the tolerance, the starting
// values and the rows, each row's coefficients drawn from the generator's
// pseudo-random stream in writing order and followed by its right-hand side.
//
// The text is what these C library calls would write, byte for byte:
//   "%d\n" numvar, "%f\n" error, "0 " per variable and "\n", then per row
//   "%d " per coefficient and "%d\n" for the right-hand side.
//
// Draws: anything with `int32_t next()` (the next draw) and
//        `std::span<const int32_t> take(size_t max)` (the next 1 to
//        max draws), all draws non-negative.
// Out:   anything with `char* reserve(size_t n)` (room for n bytes),
//        `void commit(char* end)` (the bytes up to end are written) and
//        `bool good() const` (false once the output has failed; the writer
//        then stops early).
// When the draws offer `const GlibcRandom* untouched_start()` (non-null: the
// draws to come are that generator's from its position on) and the output
// offers whole chunks (`size_t chunk_size()`, `char* take_chunk()` and
// `void put_chunk(char* chunk, size_t size)`, which appends the chunk's
// first size bytes after everything before), the rows are drawn and
// formatted on several threads, a batch of rows a chunk; the text is the
// same.

#include <algorithm>
#include <array>
#include <atomic>
#include <bit>
#include <charconv>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <span>
#include <string_view>
#include <system_error>
#include <thread>
#include <vector>

#include "generator/coefficient_text.hpp"
#include "generator/glibc_rand.hpp"
#include "generator/problem_args.hpp"

namespace mkprob {

// How the rows are shared out when the draws come from a reproduced
// generator and the output takes whole batches in order.
struct Parallel {
  int threads = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
  size_t batch_bytes = ~size_t{0};  // text per batch at most (and a chunk)
};

namespace detail {

// Columns formatted between checks for room.
inline constexpr size_t kColumnBlock = 4096;

template <class Out>
void put(Out& out, std::string_view text) {
  char* p = out.reserve(text.size());
  std::memcpy(p, text.data(), text.size());
  out.commit(p + text.size());
}

template <class Out>
void put_int(Out& out, int32_t value, char separator) {
  char* p = out.reserve(12);
  p = std::to_chars(p, p + 11, value).ptr;
  *p++ = separator;
  out.commit(p);
}

// `count` off-diagonal coefficients, (r mod 99) + 1 for a fresh draw each.
template <class Draws, class Out>
void put_coefficients(Draws& draws, Out& out, int64_t count) {
  while (count > 0) {
    const auto batch = draws.take(count < static_cast<int64_t>(kColumnBlock) ? count : kColumnBlock);
    char* const p = out.reserve(3 * batch.size() + 64);
    out.commit(put_coefficient_texts(batch.data(), batch.size(), p));
    count -= static_cast<int64_t>(batch.size());
  }
}

// The starting values: "0 " per variable.
template <class Out>
void put_zeros(Out& out, int64_t count) {
  while (count > 0) {
    const size_t block = count < static_cast<int64_t>(kColumnBlock) ? count : kColumnBlock;
    char* p = out.reserve(2 * block);
    for (size_t j = 0; j < block; ++j) std::memcpy(p + 2 * j, "0 ", 2);
    out.commit(p + 2 * block);
    count -= block;
  }
}

// Row i of an n-variable problem: i coefficients, the diagonal, n - 1 - i
// coefficients and the right-hand side, n + 1 draws in all.
template <class Draws, class Out>
void put_row(Draws& draws, Out& out, int32_t numvar, int32_t i, std::string_view diagonal_text) {
  put_coefficients(draws, out, i);
  put(out, diagonal_text);
  put_coefficients(draws, out, int64_t{numvar} - 1 - i);
  const int32_t r1 = draws.next();
  const int32_t r2 = draws.next();
  put_int(out, r1 % 100 - r2 % 10, '\n');
}

// Draws straight from a reproduced generator, in blocks.
class GeneratorDraws {
 public:
  explicit GeneratorDraws(const GlibcRandom& start) : random_(start) {}
  void skip(uint64_t k) {
    const uint64_t held = block_.size() - pos_;
    if (k < held) {
      pos_ += k;
      return;
    }
    random_.advance(k - held);
    pos_ = block_.size();
  }
  int32_t next() { return take(1)[0]; }
  std::span<const int32_t> take(size_t max) {
    if (pos_ == block_.size()) {
      random_.fill(block_.data(), block_.size());
      pos_ = 0;
    }
    const size_t count = std::min(max, block_.size() - pos_);
    pos_ += count;
    return {block_.data() + pos_ - count, count};
  }

 private:
  GlibcRandom random_;
  std::array<int32_t, 4096> block_;
  size_t pos_ = block_.size();
};

// Formats into a caller's buffer.
struct BufferOut {
  char* pos;
  char* reserve(size_t) { return pos; }
  void commit(char* end) { pos = end; }
  bool good() const { return true; }
};

// The rows, formatted by `threads` threads in batches of rows taken in
// turn, each into a chunk of its own from out.take_chunk() that is handed
// back with out.put_chunk() in row order, while the other threads go on
// drawing and formatting. The draws of row i start at draw i * (n + 1) of
// `start`'s sequence, which each thread reaches by advancing its own copy
// of the generator. False, with nothing written, when a row would not fit
// in a chunk.
template <class Out>
bool put_rows_in_parallel(int32_t numvar, const GlibcRandom& start, Out& out, std::string_view diagonal_text,
                          const Parallel& parallel) {
  // Room for the texts (see put_coefficient_texts) and the right-hand side.
  const size_t row_bytes = 3 * static_cast<size_t>(numvar) + 96;
  const size_t batch_bytes = std::min(parallel.batch_bytes, out.chunk_size());
  if (row_bytes > out.chunk_size()) return false;
  const int64_t batch_rows = std::max<int64_t>(1, static_cast<int64_t>(batch_bytes / row_bytes));
  const int64_t batches = (numvar + batch_rows - 1) / batch_rows;
  std::atomic<int64_t> taken{0};
  std::mutex mutex;
  std::condition_variable turn_changed;
  int64_t turn = 0;  // the batch to be handed back next

  auto work = [&] {
    GeneratorDraws draws(start);
    int64_t next_row = 0;  // where `draws` stands
    for (;;) {
      // The chunk first, then the batch: the thread with the batch whose
      // turn comes next never waits for a chunk held by later batches.
      char* const chunk = out.take_chunk();
      const int64_t b = taken.fetch_add(1);
      if (b >= batches) {  // nothing left: the chunk goes back empty
        std::lock_guard lock(mutex);
        out.put_chunk(chunk, 0);
        return;
      }
      const int64_t first = b * batch_rows;
      const int64_t end = std::min<int64_t>(numvar, first + batch_rows);
      draws.skip(static_cast<uint64_t>(first - next_row) * (static_cast<uint64_t>(numvar) + 1));
      BufferOut text{chunk};
      for (int64_t i = first; i < end; ++i) put_row(draws, text, numvar, static_cast<int32_t>(i), diagonal_text);
      next_row = end;
      std::unique_lock lock(mutex);
      turn_changed.wait(lock, [&] { return turn == b; });
      out.put_chunk(chunk, static_cast<size_t>(text.pos - chunk));
      ++turn;
      turn_changed.notify_all();
      if (!out.good()) taken.store(batches);  // the output is lost: stop
    }
  };
  // The header still buffered goes first, while chunks are free to take.
  out.put_chunk(out.take_chunk(), 0);
  std::vector<std::thread> helpers;
  for (int k = 1; k < parallel.threads && k < batches; ++k) {
    try {
      helpers.emplace_back(work);
    } catch (const std::system_error&) {
      break;  // fewer threads, the same batches
    }
  }
  work();
  for (auto& helper : helpers) helper.join();
  return true;
}

}  // namespace detail

template <class Draws, class Out>
void write_problem(int32_t numvar, float error, Draws& draws, Out& out, const Parallel& parallel = {}) {
  detail::put_int(out, numvar, '\n');

  // At most 48 bytes: the largest float has 39 integer digits.
  char tolerance[64];
  const int length = std::snprintf(tolerance, sizeof tolerance, "%f\n", static_cast<double>(error));
  detail::put(out, std::string_view(tolerance, length));

  detail::put_zeros(out, numvar);
  detail::put(out, "\n");

  char diagonal[16];
  char* diagonal_end = std::to_chars(diagonal, diagonal + 11, diagonal_value(numvar)).ptr;
  *diagonal_end++ = ' ';
  const std::string_view diagonal_text(diagonal, diagonal_end - diagonal);

  if constexpr (requires(char* p) {
                  draws.untouched_start();
                  out.put_chunk(out.take_chunk(), out.chunk_size());
                }) {
    const GlibcRandom* start = draws.untouched_start();
    if (start != nullptr && parallel.threads > 1 && out.good() &&
        detail::put_rows_in_parallel(numvar, *start, out, diagonal_text, parallel))
      return;
  }
  for (int32_t i = 0; i < numvar && out.good(); ++i) detail::put_row(draws, out, numvar, i, diagonal_text);
}

}  // namespace mkprob

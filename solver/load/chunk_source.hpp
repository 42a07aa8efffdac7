// Loading, stage 1b: the bytes read cut into runs of whole tokens, for the
// whole file after a point or for one byte range of it.
#pragma once

#include <cstdint>

#include "load/file_reader.hpp"

namespace itsolv {

// Bytes where two byte ranges of a file meet, as one reader read them:
// their number and their 64-bit FNV-1a hash. The range that ends at a cut
// reads from the byte before it to the first white space at or after it
// (the token that crosses the cut, if any, and the white space that ends
// it); the range that starts there reads the same bytes to skip that token.
// A range that lies inside one token has read no white space to the end of
// its bytes: it is open.
struct Seam {
  int64_t bytes = 0;
  uint64_t hash = 0xcbf29ce484222325u;
  bool open = false;

  void add(const char* begin, const char* end) {
    for (const char* c = begin; c != end; ++c) hash = (hash ^ static_cast<unsigned char>(*c)) * 0x100000001b3u;
    bytes += end - begin;
  }
};

// Text in the reader's buffer: it starts after white space (or at a token)
// and has white space or blanks after it.
struct TextSpan {
  const char* begin = nullptr;
  const char* end = nullptr;
  bool empty() const { return begin == end; }
};

class ChunkSource {
 public:
  // The tokens after the reader's position, to the end of the file.
  explicit ChunkSource(Reader& in) : in_(in) {}

  // The tokens that start in bytes [from, to) of the file (from >= 1),
  // which must hold `to` bytes: a token that crosses `from` belongs to the
  // range before, one that crosses `to` is read whole (and not refused as
  // long: the file's size bounds it).
  ChunkSource(Reader& in, uint64_t from, uint64_t to) : in_(in), from_(from), to_(to), skipping_(true) {
    in_.start_at(from - 1);
    in_.read_up_to(to);
  }

  // The next run of complete tokens at the reader's position, read in
  // chunks of `capacity` bytes, the buffer grown round a long token; empty
  // at the end. The caller consumes it (Reader::consume) before the next.
  TextSpan next(size_t capacity);

  // The bytes at the cuts before and after a byte range.
  const Seam& start_seam() const { return start_; }
  const Seam& end_seam() const { return end_; }

 private:
  bool more(size_t capacity);
  void skip_start();
  const char* range_cut(const char* from, const char* end);

  Reader& in_;
  uint64_t from_ = 0, to_ = 0;  // to_ 0: to the end of the file
  bool skipping_ = false;       // within the tail of a token begun before from_
  bool done_ = false;
  Seam start_, end_;
};

}  // namespace itsolv

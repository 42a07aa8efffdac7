#include "load/chunk_source.hpp"

#include <algorithm>

#include "parse/token_count.hpp"
#include "parse/white_space.hpp"

namespace itsolv {

constexpr size_t kPastStep = 4096;

TextSpan ChunkSource::next(size_t capacity) {
  for (;;) {
    if (done_) return {};
    if (in_.pos() == in_.end()) {
      if (!more(capacity)) return {};
      continue;
    }
    if (skipping_) {
      skip_start();
      continue;
    }
    // Complete tokens end at the last white space of the buffer, or at the
    // end of the file, or at the end of a range's last token.
    const char* const from = in_.data() + in_.pos();
    const char* const end = in_.data() + in_.end();
    const char* cut = end;
    if (to_ > 0)
      cut = range_cut(from, end);
    else if (!in_.eof())
      cut = complete_tokens_end(from, end);
    if (cut != from || done_) return {from, cut};
    if (to_ == 0) in_.too_long(in_.end() - in_.pos());
    // Past the range only its last token is read: a few bytes at first,
    // then as many again as read past it so far.
    const uint64_t read = in_.offset(in_.end());
    if (to_ > 0 && read >= to_) in_.read_up_to(read + std::max<uint64_t>(kPastStep, read - to_));
    more(capacity);  // grows the buffer round a long token
  }
}

// Reads on; a range's bytes must all be there.
bool ChunkSource::more(size_t capacity) {
  const bool read = in_.fill(capacity);
  if (in_.eof() && in_.offset(in_.end()) < to_) in_.cut_short();
  return read;
}

// Skips the tail of a token begun before from_, which the range before
// reads whole, keeping its bytes in the start seam.
void ChunkSource::skip_start() {
  const char* const data = in_.data();
  const char* const from = data + in_.pos();
  const bool reached = in_.offset(in_.end()) >= to_;
  const char* const stop = reached ? data + (to_ - in_.offset(0)) : data + in_.end();
  const char* const space = std::find_if(from, stop, is_space);
  if (space == stop) {
    start_.add(from, stop);
    in_.consume(static_cast<size_t>(stop - data), 0);
    start_.open = done_ = reached;
    return;
  }
  start_.add(from, space + 1);
  // White space just before from_ ends the range before; any later white
  // space starts this range's text.
  const bool before = in_.offset(static_cast<size_t>(space - data)) + 1 == from_;
  const size_t at = static_cast<size_t>(space - data) + (before ? 1 : 0);
  in_.consume(at, 0);
  skipping_ = false;
  if (in_.offset(at) == to_) {  // an empty range, white space before it
    end_.add(space, space + 1);
    done_ = true;
  }
}

// The end of the complete tokens of a range in [from, end): once the bytes
// reach to_, the end of the token that crosses it, the end seam recorded.
const char* ChunkSource::range_cut(const char* from, const char* end) {
  if (in_.offset(in_.end()) < to_) return complete_tokens_end(from, end);
  const char* const limit = in_.data() + (to_ - in_.offset(0));
  const char* cut = limit;
  const char* seam = limit;
  if (!is_space(limit[-1])) {
    cut = std::find_if(limit, end, is_space);
    if (cut == end && !in_.eof()) return complete_tokens_end(from, limit);  // that token goes on
    seam = cut == end ? end : cut + 1;
  }
  end_.add(limit - 1, seam);
  done_ = true;
  return cut;
}

}  // namespace itsolv

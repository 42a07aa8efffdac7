// Loading: a run of text cut into parts at token boundaries, which the team
// counts, so that each part learns the index of its first token before any
// of them is read.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "base/isa.hpp"
#include "base/row_range.hpp"
#include "base/workers.hpp"
#include "load/value_placement.hpp"
#include "parse/token_count.hpp"

namespace itsolv {

// One part of a run of text: its bytes, their count, the index of its first
// token, and how placing it went.
struct Part {
  const char* begin = nullptr;
  const char* end = nullptr;
  TokenCount count;
  int64_t first = 0;
  Placed placed;
};

// The number of parts of about `part_bytes` bytes in `length` bytes (one at
// least).
inline size_t parts_of(size_t length, size_t part_bytes) {
  return std::max<size_t>(1, (length + part_bytes - 1) / part_bytes);
}

// [begin, end), which starts after white space, in `count` parts of about
// equal length, each ending at a token boundary (a part may be empty).
inline std::vector<Part> split_text(const char* begin, const char* end, size_t count) {
  std::vector<Part> parts(count);
  for (size_t k = 0; k < count; ++k) {
    const char* const bound = k == 0 ? begin : parts[k - 1].end;
    const char* const next = begin + split_point(static_cast<size_t>(end - begin), count, k + 1);
    parts[k].begin = bound;
    parts[k].end = token_boundary(begin, std::max(next, bound), end);
  }
  return parts;
}

// Counts the parts' tokens and line feeds with the team, members taking
// parts as they come, the member that counts part k then calling also(k);
// numbers the tokens from `first` on. Gives the count of them all.
template <typename Also>
TokenCount count_parts(std::vector<Part>& parts, int64_t first, Workers& workers, Isa isa, const Also& also) {
  workers.for_each(parts.size(), [&](size_t k) {
    parts[k].count = count_tokens(parts[k].begin, parts[k].end, isa);
    also(k);
  });
  TokenCount all;
  for (Part& part : parts) {
    part.first = first + all.tokens;
    all.tokens += part.count.tokens;
    all.newlines += part.count.newlines;
  }
  return all;
}

// How placing the parts went: the first of them (in file order) that met a
// token that is not a number, if any, and the widest storage their values
// need, `storage` at least.
struct PartsPlaced {
  const Part* bad = nullptr;
  Storage need;
};
inline PartsPlaced parts_placed(std::span<const Part> parts, Storage storage) {
  PartsPlaced placed{nullptr, storage};
  for (const Part& part : parts) {
    if (part.placed.bad >= 0) return {&part, storage};
    placed.need = std::max(placed.need, part.placed.need);
  }
  return placed;
}

}  // namespace itsolv

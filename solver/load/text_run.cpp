#include "load/text_run.hpp"

#include <algorithm>

#include "load/widening.hpp"

namespace itsolv {

TextRun::TextRun(const char* begin, const char* end, Workers& workers, size_t part_bytes, Isa isa)
    : begin_(begin), workers_(workers), isa_(isa) {
  const char* bound = begin;
  do {
    const char* next = static_cast<size_t>(end - bound) > part_bytes ? bound + part_bytes : end;
    next = token_boundary(begin, next, end);
    parts_.push_back({bound, next, {}, {}});
    bound = next;
  } while (bound < end);
  each(0, parts_.size(), [&](Part& part) { part.count = count_tokens(part.begin, part.end, isa_); });
  for (const Part& part : parts_) {
    tokens_ += part.count.tokens;
    newlines_ += part.count.newlines;
  }
}

Placed TextRun::place(Problem& p, int64_t first, int64_t end,
                      const std::function<void(const char*, const char*)>& done) {
  std::vector<int64_t> firsts;
  for (const Part& part : parts_) {
    firsts.push_back(first);
    first += part.count.tokens;
  }
  const size_t members = static_cast<size_t>(workers_.size());
  for (size_t from = 0; from < parts_.size(); from += members) {
    const size_t to = std::min(from + members, parts_.size());
    // Widening converts the rows up to the last one these parts reach.
    const int64_t reached = std::min(firsts[to - 1] + parts_[to - 1].count.tokens, end);
    Placed bad;
    place_widening(p, reached, [&] {
      each(from, to, [&](Part& part) {
        const int64_t at = firsts[static_cast<size_t>(&part - parts_.data())];
        const int64_t count = std::min(at + part.count.tokens, end) - at;
        part.placed = count > 0 ? place_values(p, part.begin, at, count, isa_) : Placed{};
      });
      Storage need = p.a.storage();
      for (size_t i = from; i < to; ++i) {
        if (parts_[i].placed.bad >= 0) {
          bad = parts_[i].placed;
          return p.a.storage();
        }
        need = std::max(need, parts_[i].placed.need);
      }
      return need;
    });
    if (bad.bad >= 0) return bad;
    if (done) done(parts_[from].begin, parts_[to - 1].end);
  }
  return {};
}

int64_t TextRun::newlines_before(const char* at) const {
  int64_t newlines = 0;
  for (const Part& part : parts_) {
    if (part.end > at) return newlines + count_newlines(part.begin, at);
    newlines += part.count.newlines;
  }
  return newlines;
}

}  // namespace itsolv

#include "load/text_run.hpp"

#include <algorithm>

#include "load/widening.hpp"

namespace itsolv {

TextRun::TextRun(const char* begin, const char* end, Workers& workers, size_t part_bytes, Isa isa)
    : workers_(workers),
      isa_(isa),
      parts_(split_text(begin, end, parts_of(static_cast<size_t>(end - begin), part_bytes))) {
  count_ = count_parts(parts_, 0, workers_, isa_, [](size_t) {});
}

Placed TextRun::place(Problem& p, int64_t first, int64_t end,
                      const std::function<void(const char*, const char*)>& done) {
  const size_t members = static_cast<size_t>(workers_.size());
  for (size_t from = 0; from < parts_.size(); from += members) {
    const size_t to = std::min(from + members, parts_.size());
    // Widening converts the rows up to the last one these parts reach.
    const int64_t reached = std::min(first + parts_[to - 1].first + parts_[to - 1].count.tokens, end);
    Placed bad;
    place_widening(p, reached, [&] {
      each(from, to, [&](Part& part) {
        const int64_t at = first + part.first;
        const int64_t count = std::min(at + part.count.tokens, end) - at;
        part.placed = count > 0 ? place_values(p, part.begin, at, count, isa_) : Placed{};
      });
      const PartsPlaced placed = parts_placed({parts_.data() + from, to - from}, p.a.storage());
      if (placed.bad != nullptr) bad = placed.bad->placed;
      return placed.need;
    });
    if (bad.bad >= 0) return bad;
    if (done) done(parts_[from].begin, parts_[to - 1].end);
  }
  return {};
}

}  // namespace itsolv

#include "load/text_run.hpp"

#include <algorithm>

#include "base/failure.hpp"

namespace itsolv {

TextRun::TextRun(const char* begin, const char* end, Workers& workers, size_t part_bytes, Isa isa)
    : workers_(workers),
      isa_(isa),
      parts_(split_text(begin, end, parts_of(static_cast<size_t>(end - begin), part_bytes))) {
  count_ = count_parts(parts_, 0, workers_, isa_, [](size_t) {});
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
    for (;;) {
      each(from, to, [&](Part& part) {
        const int64_t at = firsts[static_cast<size_t>(&part - parts_.data())];
        const int64_t count = std::min(at + part.count.tokens, end) - at;
        part.placed = count > 0 ? place_values(p, part.begin, at, count, isa_) : Placed{};
      });
      Storage need = p.a.storage();
      for (size_t i = from; i < to; ++i) {
        if (parts_[i].placed.bad >= 0) return parts_[i].placed;
        need = std::max(need, parts_[i].placed.need);
      }
      if (need <= p.a.storage()) {
        if (done) done(parts_[from].begin, parts_[to - 1].end);
        break;
      }
      // Widening keeps every value placed so far, from this run or an
      // earlier one, and placing a token again stores the same value in the
      // same place. Rows after those that these parts reach hold nothing yet.
      const int64_t reached = std::min(firsts[to - 1] + parts_[to - 1].count.tokens, end);
      if (!p.a.widen(need, rows_reached(reached, p.num))) fail("Cannot allocate a!\n");
    }
  }
  return {};
}

}  // namespace itsolv

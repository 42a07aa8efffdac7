#include "text_run.hpp"

#include <algorithm>

#include "failure.hpp"

namespace itsolv {

TextRun::TextRun(const char* begin, const char* end, Workers& workers, size_t team_bytes)
    : begin_(begin), workers_(workers) {
  const size_t length = static_cast<size_t>(end - begin);
  const int members = length >= team_bytes ? workers.size() : 1;
  const char* bound = begin;
  for (int k = 0; k < members; ++k) {
    const char* next = k + 1 == members ? end : begin + length * static_cast<size_t>(k + 1) / static_cast<size_t>(members);
    next = token_boundary(begin, std::max(next, bound), end);
    parts_.push_back({bound, next, {}, {}});
    bound = next;
  }
  each([](Part& part) { part.count = count_tokens(part.begin, part.end); });
  for (const Part& part : parts_) {
    tokens_ += part.count.tokens;
    newlines_ += part.count.newlines;
  }
}

template <typename Job>
void TextRun::each(const Job& job) {
  if (parts_.size() == 1) {
    job(parts_[0]);
    return;
  }
  workers_.run([&](int k) {
    if (static_cast<size_t>(k) < parts_.size()) job(parts_[static_cast<size_t>(k)]);
  });
}

Placed TextRun::place(Problem& p, int64_t first, int64_t end) {
  for (;;) {
    int64_t at = first;
    std::vector<int64_t> firsts;
    for (const Part& part : parts_) {
      firsts.push_back(at);
      at += part.count.tokens;
    }
    each([&](Part& part) {
      const int64_t from = firsts[static_cast<size_t>(&part - parts_.data())];
      const int64_t count = std::min(from + part.count.tokens, end) - from;
      part.placed = count > 0 ? place_values(p, part.begin, from, count) : Placed{};
    });
    Storage need = p.a.storage();
    for (const Part& part : parts_) {
      if (part.placed.bad >= 0) return part.placed;
      need = std::max(need, part.placed.need);
    }
    if (need <= p.a.storage()) return {};
    // Widening keeps every value placed so far, from this run or another,
    // and placing a token again stores the same value in the same place.
    if (!p.a.widen(need, p.a.row_end())) fail("Cannot allocate a!\n");
  }
}

}  // namespace itsolv

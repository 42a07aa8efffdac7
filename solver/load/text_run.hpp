// Loading, a stage over a run of text held whole: the tokens of one byte
// range of the file (or of a piece of it handed over by another process),
// counted first, so that the index of their first token can be learned
// elsewhere, then placed by token index. The run is cut into parts at token
// boundaries; the team counts them all, then places them a part per member
// at a time, so that a value that widens the matrix's storage has only the
// parts in hand placed again.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "base/isa.hpp"
#include "base/workers.hpp"
#include "load/text_parts.hpp"
#include "matrix/problem.hpp"

namespace itsolv {

class TextRun {
 public:
  // [begin, end) starts after white space (or at a token's start) and has
  // white space or blanks after it; its parts are about part_bytes long and
  // are read with `isa`'s readers. Counts its tokens and line feeds.
  TextRun(const char* begin, const char* end, Workers& workers, size_t part_bytes, Isa isa = best_isa());

  int64_t tokens() const { return count_.tokens; }
  int64_t newlines() const { return count_.newlines; }

  // Places the tokens of the run, the first of which is token `first`,
  // those before token `end` only, into p, widening p's storage when a
  // coefficient needs it (throws "Cannot allocate a!" when it cannot grow).
  // The runs of a file are placed in file order: a widening converts the
  // rows up to the last one this run reaches.
  // Gives the first token that is not a number, if any. `done`, when
  // given, is told of each stretch of text placed for good, which is not
  // read again.
  Placed place(Problem& p, int64_t first, int64_t end, const std::function<void(const char*, const char*)>& done = {});

  // The line feeds in the run before `at` (for messages).
  int64_t newlines_before(const char* at) const { return count_newlines(parts_.front().begin, at); }

 private:
  // Calls job(part) for each of parts_[from, to), members taking them as
  // they come.
  template <typename Job>
  void each(size_t from, size_t to, const Job& job) {
    workers_.for_each(to - from, [&](size_t k) { job(parts_[from + k]); });
  }

  Workers& workers_;
  Isa isa_;
  std::vector<Part> parts_;
  TokenCount count_;
};

}  // namespace itsolv

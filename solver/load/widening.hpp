// Loading: placing values into compact storage, widened when a value needs
// it. Every loader places through this step: itsolv's chunks, the text runs
// and the compact values of itsolv-mpi.
#pragma once

#include <cstdint>

#include "base/failure.hpp"
#include "load/token_place.hpp"
#include "matrix/problem.hpp"

namespace itsolv {

// Calls place(), which places a run of values (those of tokens before
// `reached`, the file's values being placed in file order) and gives the
// widest storage they need, having refused a token that is not a number.
// When that is wider than p's storage, widens the storage and places the
// run again. Gives whether it widened; fails with "Cannot allocate a!"
// when the storage cannot grow.
//
// Placing again is safe: a value's place follows from its token index
// alone, so a token placed twice stores the same value in the same place;
// widening converts every value stored so far exactly, from this run or an
// earlier one; and nothing after the run has been placed yet. What must be
// widened is every row up to and including the run's last one: that row may
// have begun in an earlier run, whose values are not placed again. Rows
// after it hold nothing yet.
template <typename Place>
bool place_widening(Problem& p, int64_t reached, const Place& place) {
  bool widened = false;
  for (Storage need = place(); need > p.a.storage(); need = place()) {
    if (!p.a.widen(need, rows_reached(reached, p.num))) fail("Cannot allocate a!\n");
    widened = true;
  }
  return widened;
}

}  // namespace itsolv

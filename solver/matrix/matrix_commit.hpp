// Loading: the matrix's memory committed just before the stores into it.
#pragma once

#include "base/row_range.hpp"
#include "matrix/matrix.hpp"

namespace itsolv {

// Commits the memory of the matrix's elements in rows [rows.begin,
// rows.end) and columns [columns.begin, columns.end), with the rest of the
// panels' lines and pages it reaches, on the calling thread; false when
// the system refused it (the memory is then not to be stored into). The
// system zeroes every page it hands out, which costs about as much as
// reading the file: the member about to store a block of a band commits it
// first, so that the zeroed lines are still in that core's cache when the
// values go in, rather than taking a page fault for each page on the way.
// Pages already committed are left as they are; two members may commit a
// page that their blocks share.
bool commit_block(Matrix& a, RowRange rows, RowRange columns);

}  // namespace itsolv

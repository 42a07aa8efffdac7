// Loading: the matrix's memory committed just before the stores into it.
#pragma once

#include "matrix/matrix.hpp"
#include "matrix/row_range.hpp"

namespace itsolv {

// Commits the memory of the matrix's panels that hold rows [begin, end),
// on the calling thread; false when the system refused it (the memory is
// then not to be stored into). The system zeroes every page it hands out,
// which costs about as much as reading the file: the member that is about
// to store a band of rows commits its panel first, so that the zeroed lines
// are still in that core's cache when the values go in, rather than taking
// a page fault for each page on the way. Pages already committed are left
// as they are; two members may commit a page that their panels share.
bool commit_rows(Matrix& a, RowRange rows);

}  // namespace itsolv

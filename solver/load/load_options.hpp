// How the loader reads a file: the rows it keeps, the sizes of its chunks,
// its instruction set. Results never depend on them but for the rows kept.
#pragma once

#include <cstddef>
#include <cstdint>

#include "base/isa.hpp"

namespace itsolv {

struct LoadOptions {
  // The rows whose coefficients are kept: block `block` of `blocks`
  // contiguous blocks (see split in row_range.hpp).
  int block = 0;
  int blocks = 1;
  // The file is read in chunks of part_bytes per team member
  // (compact_chunks times that while the matrix is stored compactly, as
  // memory is then plentiful and fewer chunks mean fewer meetings of the
  // team, and fewer bands of rows moved in two pieces: at 50,000 variables
  // a band's text is 9 MB), and a chunk smaller than team_bytes is parsed
  // by one thread.
  size_t part_bytes = size_t{256} << 10;
  size_t compact_chunks = 64;
  size_t team_bytes = size_t{64} << 10;
  // Columns of a compact matrix moved into place as one item (see
  // row_stage.hpp).
  int32_t move_columns = 2048;
  // The instruction set of the token reader (results never depend on it).
  Isa isa = best_isa();
};

}  // namespace itsolv

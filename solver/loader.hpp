// The problem file loader.
//
// The file is a sequence of white-space separated tokens: the number of
// variables n, the tolerance, n starting values, then for each row its n
// coefficients and its right-hand side. Anything after the last right-hand
// side is never read.
//
// Loading runs in stages: reading bytes (file_reader.hpp), finding and
// counting tokens (token_count.hpp), reading a number (number_token.hpp),
// placing values by token index (value_placement.hpp), and the driver here,
// which runs them over chunks of the file. A driver that reads the file in
// byte ranges takes the header and the allocation from load_steps.hpp and
// counts and places each range as a text run (text_run.hpp).
#pragma once

#include <cstddef>

#include "common/progress.hpp"
#include "kernels.hpp"
#include "problem.hpp"
#include "workers.hpp"

namespace itsolv {

struct LoadOptions {
  // The rows whose coefficients are kept: block `block` of `blocks`
  // contiguous blocks (see split in row_range.hpp).
  int block = 0;
  int blocks = 1;
  // The file is read in chunks of part_bytes per team member
  // (compact_chunks times that while the matrix is stored compactly, as
  // memory is then plentiful and fewer chunks mean fewer meetings of the
  // team), and a chunk smaller than team_bytes is parsed by one thread.
  size_t part_bytes = size_t{256} << 10;
  size_t compact_chunks = 16;
  size_t team_bytes = size_t{64} << 10;
  // Columns of a compact matrix moved into place as one item (see
  // row_stage.hpp).
  int32_t move_columns = 2048;
  // The instruction set of the token reader (results never depend on it).
  Isa isa = best_isa();
};

// Opens and reads the file at `path` into p (which must be new), then closes
// it, telling `progress` (when not null) how far it has got. Throws the
// Failure to print when the file cannot be opened or read, ends early, holds
// a token that is not wholly a number where a number is expected, or
// declares a count that it cannot hold or memory cannot take.
void get_input(Problem& p, const char* path, Workers& workers, const LoadOptions& options = {},
               Progress* progress = nullptr);

}  // namespace itsolv

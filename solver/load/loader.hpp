// The problem file loader.
//
// The file is a sequence of white-space separated tokens: the number of
// variables n, the tolerance, n starting values, then for each row its n
// coefficients and its right-hand side. Anything after the last right-hand
// side is never read.
//
// Loading runs in stages: reading bytes in runs of whole tokens
// (file_reader.hpp, chunk_source.hpp), finding and counting tokens in parts
// (token_count.hpp, text_parts.hpp), reading a number (number_token.hpp),
// placing values by token index (value_placement.hpp, token_place.hpp,
// through a stage in the file's order: row_stage.hpp), and the driver here,
// which runs them over chunks of the file. A driver that reads the file in
// byte ranges takes the header and the allocation from load_steps.hpp and
// counts and places each range as a text run (text_run.hpp).
#pragma once

#include <cstddef>

#include "base/workers.hpp"
#include "common/progress.hpp"
#include "load/load_options.hpp"
#include "matrix/problem.hpp"

namespace itsolv {

// Opens and reads the file at `path` into p (which must be new), then closes
// it, telling `progress` (when not null) how far it has got. Throws the
// Failure to print when the file cannot be opened or read, ends early, holds
// a token that is not wholly a number where a number is expected, or
// declares a count that it cannot hold or memory cannot take.
void get_input(Problem& p, const char* path, Workers& workers, const LoadOptions& options = {},
               common::Progress* progress = nullptr);

}  // namespace itsolv

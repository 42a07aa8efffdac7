// The problem file loader.
//
// The file is a sequence of white-space separated tokens: the number of
// variables n, the tolerance, n starting values, then for each row its n
// coefficients and its right-hand side. Anything after the last right-hand
// side is never read.
#pragma once

#include "context.hpp"
#include "problem.hpp"

namespace itsolv {

// Opens and reads the file at `path` into p (which must be new), then closes
// it. Throws the Failure to print when the file cannot be opened or read,
// ends early, holds a token that is not wholly a number where a number is
// expected, or declares a count that it cannot hold or memory cannot take.
void get_input(Problem& p, const char* path, Context& ctx);

}  // namespace itsolv

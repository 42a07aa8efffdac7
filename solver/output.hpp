// Writing the program's output. Standard output is the only place for
// results and messages; when it cannot be written the run has failed, and
// standard error is the one place left to say so.
#pragma once

#include <string_view>

namespace itsolv {

// Writes all of `text` to standard output and flushes it; false (after a
// note on standard error) when that fails.
bool emit(std::string_view text);

}  // namespace itsolv

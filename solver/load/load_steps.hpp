// Steps of the loader that a driver other than get_input's (one that reads
// the file in byte ranges) takes as they are: the header, the allocation
// and the texts of the refusals met while reading values.
#pragma once

#include <cstdint>

#include "load/file_reader.hpp"
#include "load/load_options.hpp"
#include "matrix/problem.hpp"

namespace itsolv {

// Reads the count and the tolerance into p and refuses a count that the
// file (of `size` bytes, 0 when not known) cannot hold. Gives the number of
// tokens of the whole problem.
int64_t read_header(Problem& p, Reader& in, uint64_t size);

// Allocates p for p.num variables, keeping the rows that `options` says.
void allocate(Problem& p, const LoadOptions& options);

// The file at `path` ends, on line `last_line`, before token t.
[[noreturn]] void fail_ends_before(const char* path, int64_t last_line, int64_t t, int32_t n);

// Token t, the text [begin, end) on line `line`, is not a number.
[[noreturn]] void fail_bad_token(const char* path, int64_t t, int32_t n, const char* begin, const char* end,
                                 int64_t line);

}  // namespace itsolv

// One process's byte range of a file that can be read at an offset, read a
// chunk at a time: each chunk's tokens and line feeds are counted and its
// values read into compact form (compact_values.hpp) before the next chunk
// is read, so that only a chunk of the text is held at any time. The range
// is the tokens that start in bytes [from, to); a token that crosses `to` is
// read whole.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "agreement.hpp"
#include "base/workers.hpp"
#include "load/chunk_source.hpp"
#include "load/compact_values.hpp"
#include "load/load_options.hpp"

namespace itsolv_mpi {

struct RangeValues {
  std::vector<itsolv::CompactValues> parts;  // the values, in file order
  std::vector<int64_t> starts;               // the index in the range of each part's first token
  int64_t tokens = 0;                        // tokens counted
  int64_t newlines = 0;
  // The range's first token that is not wholly a number, if any: its index
  // in the range, its text (as much as a message shows) and the line feeds
  // of the range before it. The values after it are not read.
  int64_t bad = -1;
  std::string bad_text;
  int64_t bad_newlines = 0;
  // A failure to read the range (or to hold its values), met after the
  // tokens counted.
  StepFailure failure;
  char last_byte = 0;       // the last byte read from the file
  itsolv::Seam start, end;  // the bytes at the cut before the range and after it
};

// Reads bytes [from, to) of the file `fd` (`size` bytes, from >= 1), with the
// team of `workers` and the part size and instruction set of `options`.
RangeValues read_range_values(int fd, const char* path, uint64_t from, uint64_t to, uint64_t size,
                              itsolv::Workers& workers, const itsolv::LoadOptions& options);

}  // namespace itsolv_mpi

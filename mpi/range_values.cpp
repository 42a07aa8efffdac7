#include "range_values.hpp"

#include <algorithm>

#include "load/chunk_source.hpp"
#include "load/text_parts.hpp"

namespace itsolv_mpi {
namespace {

// A message shows the first 40 bytes of a token and says whether more follow.
constexpr size_t kBadTextKept = 41;

// Counts the complete tokens of [begin, end) and, while no bad token has
// been met, reads their values; appends both to r in file order.
void take(RangeValues& r, const char* begin, const char* end, itsolv::Workers& workers,
          const itsolv::LoadOptions& options) {
  std::vector<itsolv::Part> parts =
      itsolv::split_text(begin, end, itsolv::parts_of(static_cast<size_t>(end - begin), options.part_bytes));
  std::vector<itsolv::CompactValues> values(parts.size());
  const bool reading = r.bad < 0;
  const itsolv::TokenCount counted = itsolv::count_parts(parts, r.tokens, workers, options.isa, [&](size_t k) {
    itsolv::Part& part = parts[k];
    if (reading)
      part.placed.bad = itsolv::read_compact(part.begin, part.count.tokens, options.isa, values[k],
                                             part.placed.bad_begin, part.placed.bad_end);
  });
  for (size_t k = 0; k < parts.size() && reading && r.bad < 0; ++k) {
    const itsolv::Part& part = parts[k];
    if (part.placed.bad >= 0) {
      r.bad = part.first + part.placed.bad;
      r.bad_text.assign(part.placed.bad_begin, std::min(part.placed.bad_end, part.placed.bad_begin + kBadTextKept));
      r.bad_newlines = r.newlines + itsolv::count_newlines(begin, part.placed.bad_begin);
    }
    r.parts.push_back(std::move(values[k]));
    r.starts.push_back(part.first);
  }
  r.tokens += counted.tokens;
  r.newlines += counted.newlines;
}

// Reads the range into r, chunk by chunk.
void read_chunks(RangeValues& r, int fd, const char* path, uint64_t from, uint64_t to, uint64_t size,
                 itsolv::Workers& workers, const itsolv::LoadOptions& options) {
  constexpr size_t kPartsPerMember = 4;  // in a chunk
  const size_t capacity = options.part_bytes * kPartsPerMember * static_cast<size_t>(workers.size());
  itsolv::Reader in(fd, path, capacity, size);
  itsolv::ChunkSource source(in, from, to);
  for (itsolv::TextSpan chunk; !(chunk = source.next(capacity)).empty();) {
    take(r, chunk.begin, chunk.end, workers, options);
    in.consume(static_cast<size_t>(chunk.end - in.data()), 0);
  }
  r.last_byte = in.last_byte();
  r.start = source.start_seam();
  r.end = source.end_seam();
}

}  // namespace

RangeValues read_range_values(int fd, const char* path, uint64_t from, uint64_t to, uint64_t size,
                              itsolv::Workers& workers, const itsolv::LoadOptions& options) {
  RangeValues r;
  r.failure = attempt([&] { read_chunks(r, fd, path, from, to, size, workers, options); });
  return r;
}

}  // namespace itsolv_mpi

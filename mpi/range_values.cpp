#include "range_values.hpp"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "base/failure.hpp"
#include "load/file_reader.hpp"
#include "parse/token_count.hpp"
#include "token_pieces.hpp"

namespace itsolv_mpi {
namespace {

// Reads `length` bytes at `offset` to `to`; fewer only at the end of the
// file. Throws the Failure to print when reading fails.
size_t read_at(int fd, const char* path, char* to, size_t length, uint64_t offset) {
  size_t got = 0;
  while (got < length) {
    const ssize_t n = pread(fd, to + got, length - got, static_cast<off_t>(offset + got));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) itsolv::fail("Cannot read file %s: %s\n", path, std::strerror(errno));
    if (n == 0) break;
    got += static_cast<size_t>(n);
  }
  return got;
}

// A message shows the first 40 bytes of a token and says whether more follow.
constexpr size_t kBadTextKept = 41;

// One part of a chunk, counted and read by one member of the team.
struct Part {
  const char* begin = nullptr;
  const char* end = nullptr;
  itsolv::TokenCount count;
  CompactValues values;
  int64_t bad = -1;
  const char* bad_begin = nullptr;
  const char* bad_end = nullptr;
};

// Counts the complete tokens of [begin, end) and, while no bad token has
// been met, reads their values; appends both to r in file order.
void take(RangeValues& r, const char* begin, const char* end, itsolv::Workers& workers,
          const itsolv::LoadOptions& options) {
  std::vector<Part> parts;
  for (const char* bound = begin; bound < end;) {
    const char* next = static_cast<size_t>(end - bound) > options.part_bytes ? bound + options.part_bytes : end;
    next = itsolv::token_boundary(begin, next, end);
    parts.emplace_back();
    parts.back().begin = bound;
    parts.back().end = next;
    bound = next;
  }
  const bool reading = r.bad < 0;
  workers.for_each(parts.size(), [&](size_t k) {
    Part& part = parts[k];
    part.count = itsolv::count_tokens(part.begin, part.end, options.isa);
    if (reading)
      part.bad = read_compact(part.begin, part.count.tokens, options.isa, part.values, part.bad_begin, part.bad_end);
  });
  for (Part& part : parts) {
    if (r.bad < 0 && reading) {
      if (part.bad >= 0) {
        r.bad = r.tokens + part.bad;
        r.bad_text.assign(part.bad_begin, std::min(part.bad_end, part.bad_begin + kBadTextKept));
        r.bad_newlines = r.newlines + itsolv::count_newlines(part.begin, part.bad_begin);
      }
      r.parts.push_back(std::move(part.values));
      r.starts.push_back(r.tokens);
    }
    r.tokens += part.count.tokens;
    r.newlines += part.count.newlines;
  }
}

// Reads the range into r, chunk by chunk. The first byte read is the one
// before `from`: it tells whether the range starts inside a token, whose
// tail belongs to the range before.
void read_chunks(RangeValues& r, int fd, const char* path, uint64_t from, uint64_t to, uint64_t size,
                 itsolv::Workers& workers, const itsolv::LoadOptions& options) {
  constexpr size_t kStep = 4096;         // read at a time past `to` to end a token
  constexpr size_t kPartsPerMember = 4;  // in a chunk
  size_t capacity = options.part_bytes * kPartsPerMember * static_cast<size_t>(workers.size());
  std::vector<char> buffer(capacity + itsolv::Reader::kSlack, ' ');
  uint64_t at = from - 1;  // the next byte to read
  size_t held = 0;         // bytes in the buffer: the start of a token not yet complete
  bool skipping = true;    // within the tail of a token begun before `from`
  for (bool done = false; !done;) {
    if (held > capacity / 2 || capacity - held < kStep) {
      capacity = std::max(capacity * 2, held + kStep);  // a token longer than the buffer
      buffer.resize(capacity + itsolv::Reader::kSlack, ' ');
    }
    const bool past = at >= to;  // reading the end of the range's last token
    const size_t want = past ? kStep : static_cast<size_t>(std::min<uint64_t>(capacity - held, to - at));
    char* const data = buffer.data();
    const size_t got = read_at(fd, path, data + held, want, at);
    if (!past && got != want) itsolv::fail("Cannot read file %s: the file was cut short while it was read\n", path);
    if (got > 0) r.last_byte = data[held + got - 1];
    const size_t before = held;
    size_t start = 0;
    held += got;
    const bool first = at == from - 1;
    at += got;
    if (skipping) {
      const bool after_space = first && is_space(data[0]);
      const char* const space = after_space ? data + 1 : std::find_if(data + (first ? 1 : 0), data + held, is_space);
      if (!after_space && space == data + held) {
        r.start.add(data, data + held);
        r.start.open = at >= to;
        held = 0;
        done = at >= to;
        continue;
      }
      r.start.add(data, after_space ? space : space + 1);
      skipping = false;
      start = static_cast<size_t>(space - data);
    }
    if (!past && at >= to && got > 0) r.end.add(data + held - 1, data + held);  // the byte before `to`
    const char* const text = data + start;
    const char* cut = data + held;
    if (past) {
      // Past `to` only the token that crosses it is read: to white space.
      const char* const space = std::find_if(data + before, data + held, is_space);
      done = space != data + held || got == 0;
      r.end.add(data + before, done && got > 0 ? space + 1 : data + held);
      cut = done ? space : text;
    } else if (at < to || (at < size && !is_space(data[held - 1]))) {
      cut = itsolv::complete_tokens_end(text, cut);
    } else {
      done = true;
    }
    std::memset(data + held, ' ', itsolv::Reader::kSlack);
    if (cut > text) take(r, text, cut, workers, options);
    held = static_cast<size_t>(data + held - cut);
    std::memmove(data, cut, held);
  }
}

}  // namespace

RangeValues read_range_values(int fd, const char* path, uint64_t from, uint64_t to, uint64_t size,
                              itsolv::Workers& workers, const itsolv::LoadOptions& options) {
  RangeValues r;
  r.failure = attempt([&] { read_chunks(r, fd, path, from, to, size, workers, options); });
  return r;
}

}  // namespace itsolv_mpi

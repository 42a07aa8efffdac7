#include "loader.hpp"

#include <fcntl.h>
#include <immintrin.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <algorithm>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "failure.hpp"
#include "number_token.hpp"

namespace itsolv {
namespace {

constexpr size_t kFirstRead = size_t{1} << 16;  // the header is read from this
constexpr int P = Matrix::kPanel;

class FileHandle {
 public:
  explicit FileHandle(int fd) : fd_(fd) {}
  ~FileHandle() {
    if (fd_ >= 0) close(fd_);
  }
  FileHandle(const FileHandle&) = delete;
  FileHandle& operator=(const FileHandle&) = delete;
  int fd() const { return fd_; }

 private:
  int fd_;
};

// What token t of a file with n variables is, for messages.
std::string describe(int64_t t, int32_t n) {
  if (t == 0) return "the number of variables";
  if (t == 1) return "the tolerance";
  const int64_t v = t - 2;
  if (v < n) return "the starting value x[" + std::to_string(v) + "]";
  const int64_t u = v - n;
  const int64_t row = u / (int64_t{n} + 1);
  const int64_t col = u % (int64_t{n} + 1);
  if (col == n) return "the right-hand side b[" + std::to_string(row) + "]";
  return "the coefficient a[" + std::to_string(row) + "][" + std::to_string(col) + "]";
}

// A token as it may be shown: printable ASCII, the rest escaped, cut short.
std::string quote(const char* begin, const char* end) {
  constexpr size_t kShown = 40;
  std::string out = "\"";
  size_t shown = 0;
  for (const char* p = begin; p != end; ++p, ++shown) {
    if (shown == kShown) {
      out += "...";
      break;
    }
    const unsigned char c = static_cast<unsigned char>(*p);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c >= 0x20 && c < 0x7f) {
      out += static_cast<char>(c);
    } else {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02x", c);
      out += hex;
    }
  }
  return out + "\"";
}

// Sequential access to the file's bytes through a growing buffer. Blanks
// follow the bytes read, so that a parser may look a few bytes past the last
// token.
class Reader {
 public:
  static constexpr size_t kSlack = 64;

  // `size` is the file's size when known (0 otherwise): no buffer grows
  // beyond what the file holds.
  Reader(int fd, const char* path, size_t first_read, uint64_t size)
      : fd_(fd), path_(path), size_(size), capacity_(first_read), buf_(first_read + kSlack, ' ') {}

  const char* path() const { return path_; }
  char* data() { return buf_.data(); }
  size_t pos() const { return pos_; }
  size_t end() const { return end_; }
  bool eof() const { return eof_; }
  int64_t line() const { return line_; }
  // File offset of data()[k].
  uint64_t offset(size_t k) const { return base_ + k; }

  // Consumes data()[pos() .. to), which hold `newlines` line feeds.
  void consume(size_t to, int64_t newlines) {
    if (to > pos_) last_byte_ = buf_[to - 1];
    pos_ = to;
    line_ += newlines;
  }

  // Keeps the unconsumed bytes and reads more after them, growing the buffer
  // when they fill it. Returns false at the end of the file.
  bool fill(size_t capacity) {
    if (eof_) return false;
    if (pos_ > 0) {
      std::memmove(buf_.data(), buf_.data() + pos_, end_ - pos_);
      base_ += pos_;
      end_ -= pos_;
      pos_ = 0;
    }
    if (capacity < end_ * 2) capacity = end_ * 2;
    if (size_ > base_ && capacity > size_ - base_ + 1) capacity = static_cast<size_t>(size_ - base_ + 1);
    // A file that has grown since its size was taken still has room to be
    // read into: a full buffer always grows.
    if (capacity <= end_) capacity = end_ * 2 + 1;
    if (capacity_ < capacity) {
      capacity_ = capacity;
      buf_.resize(capacity_ + kSlack);
    }
    const size_t before = end_;
    while (end_ < capacity_) {
      const ssize_t got = read(fd_, buf_.data() + end_, capacity_ - end_);
      if (got < 0) {
        if (errno == EINTR) continue;
        fail("Cannot read file %s: %s\n", path_, std::strerror(errno));
      }
      if (got == 0) {
        // Ending before the size it had when opened, the file was cut while
        // it was read: a token just before the cut may have lost its tail.
        const char last = end_ > 0 ? buf_[end_ - 1] : last_byte_;
        if (base_ + end_ < size_ && !kSpace.space[static_cast<unsigned char>(last)])
          fail("Cannot read file %s: the file was cut short while it was read\n", path_);
        eof_ = true;
        break;
      }
      end_ += static_cast<size_t>(got);
    }
    std::memset(buf_.data() + end_, ' ', kSlack);
    return end_ > before || !eof_;
  }

  // The next token, read one byte at a time; false at the end of the file.
  bool next_token(const char*& begin, const char*& end) {
    for (;;) {
      while (pos_ < end_ && kSpace.space[static_cast<unsigned char>(buf_[pos_])]) consume(pos_ + 1, buf_[pos_] == '\n');
      if (pos_ < end_) break;
      if (!fill(capacity_)) return false;
    }
    size_t stop = pos_;
    for (;;) {
      while (stop < end_ && !kSpace.space[static_cast<unsigned char>(buf_[stop])]) ++stop;
      if (stop < end_ || eof_) break;
      too_long(stop - pos_);
      const size_t done = stop - pos_;
      fill(capacity_ * 2);
      stop = pos_ + done;
    }
    begin = buf_.data() + pos_;
    end = buf_.data() + stop;
    consume(stop, 0);
    return true;
  }

  // No number is this long: a stream of bytes without white space (say,
  // /dev/zero) is refused before it takes all memory.
  static constexpr size_t kLongestToken = size_t{64} << 20;
  void too_long(size_t length) const {
    if (length >= kLongestToken)
      fail("Cannot read file %s: no white space in %zu bytes at line %lld\n", path_, length,
           static_cast<long long>(line_));
  }

  // Gives back buffer memory beyond `capacity`, keeping the unconsumed bytes.
  void shrink(size_t capacity) {
    if (capacity >= capacity_ || end_ - pos_ > capacity) return;
    std::vector<char> smaller(capacity + kSlack, ' ');
    std::memcpy(smaller.data(), buf_.data() + pos_, end_ - pos_);
    base_ += pos_;
    end_ -= pos_;
    pos_ = 0;
    std::memset(smaller.data() + end_, ' ', kSlack);
    buf_.swap(smaller);
    capacity_ = capacity;
  }

  // The line on which the file's last byte stands.
  int64_t last_line() const { return last_byte_ == '\n' ? line_ - 1 : line_; }

 private:
  int fd_;
  const char* path_;
  uint64_t size_;
  size_t capacity_;
  std::vector<char> buf_;  // capacity_ bytes, then kSlack blanks
  size_t pos_ = 0, end_ = 0;
  uint64_t base_ = 0;
  bool eof_ = false;
  int64_t line_ = 1;
  char last_byte_ = '\n';
};

// One member's share of a chunk of text.
struct Part {
  const char* begin;
  const char* end;
  int64_t tokens = 0;    // tokens that start in the part
  int64_t newlines = 0;  // line feeds in the part
  int64_t first = 0;     // index of its first token in the file
  // Set by parsing:
  int64_t bad = -1;  // index of the first token that is not a number
  const char* bad_begin = nullptr;
  const char* bad_end = nullptr;
  Storage need = Storage::i8;  // the widest storage its coefficients need
};

void count_tokens(Part& part) {
  int64_t tokens = 0, newlines = 0;
  const char* p = part.begin;
  const char* const end = part.end;
  // Sixteen bytes at a time: a token starts at a byte that is not white
  // space after one that is. Each byte of the counters counts up to 255
  // blocks before it is added up.
  const __m128i blank = _mm_set1_epi8(' '), tab = _mm_set1_epi8('\t'), four = _mm_set1_epi8(4),
                line_feed = _mm_set1_epi8('\n'), zero = _mm_setzero_si128();
  __m128i previous = _mm_set1_epi8(-1);  // the part starts after white space
  auto add_up = [&](__m128i counts) {
    const __m128i sums = _mm_sad_epu8(counts, zero);
    return static_cast<int64_t>(_mm_cvtsi128_si64(sums)) + _mm_extract_epi16(sums, 4);
  };
  while (end - p >= 16) {
    __m128i starts = zero, feeds = zero;
    for (int round = 0; round < 255 && end - p >= 16; ++round, p += 16) {
      const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
      const __m128i control = _mm_sub_epi8(v, tab);  // \t \n \v \f \r become 0 .. 4
      const __m128i space =
          _mm_or_si128(_mm_cmpeq_epi8(v, blank), _mm_cmpeq_epi8(_mm_min_epu8(control, four), control));
      const __m128i space_before = _mm_or_si128(_mm_slli_si128(space, 1), _mm_srli_si128(previous, 15));
      starts = _mm_sub_epi8(starts, _mm_andnot_si128(space, space_before));
      feeds = _mm_sub_epi8(feeds, _mm_cmpeq_epi8(v, line_feed));
      previous = space;
    }
    tokens += add_up(starts);
    newlines += add_up(feeds);
  }
  bool after_space = _mm_movemask_epi8(previous) & 0x8000;
  for (; p != end; ++p) {
    const unsigned char c = static_cast<unsigned char>(*p);
    const bool space = kSpace.space[c];
    tokens += after_space && !space;
    newlines += c == '\n';
    after_space = space;
  }
  part.tokens = tokens;
  part.newlines = newlines;
}

// One number token: its value and, for short integers, the narrowest
// storage that holds it (f32 stands for "not worked out": a float matrix has
// no use for it).
struct Token {
  float value;
  int32_t whole;  // the value, when `fits` is narrower than float
  Storage fits;
};


// The forms read_token does not read itself: returns the token's end, or
// null when it is not wholly a number.
__attribute__((noinline)) const char* read_other_token(const char* q, Token* t) {
  const char* const begin = q;
  if (const int length = read_decimal(q, t->value)) {
    q += length;
  } else {
    while (!kSpace.space[static_cast<unsigned char>(*q)]) ++q;
    if (!parse_float(begin, q, t->value)) return nullptr;
  }
  t->fits = Storage::f32;
  return q;
}

// The token at q (after white space): its end, or null when it is not
// wholly a number. q has the reader's blanks after it.
__attribute__((always_inline)) inline const char* read_token(const char* q, Token& t) {
  const unsigned d0 = static_cast<unsigned char>(q[0]) - '0';
  if (d0 < 10) {
    // One or two digits: most coefficients of generated problems.
    if (kSpace.space[static_cast<unsigned char>(q[1])]) {
      t = {static_cast<float>(d0), static_cast<int32_t>(d0), Storage::i8};
      return q + 1;
    }
    const unsigned d1 = static_cast<unsigned char>(q[1]) - '0';
    if (d1 < 10 && kSpace.space[static_cast<unsigned char>(q[2])]) {
      const int32_t m = static_cast<int32_t>(d0 * 10 + d1);
      t = {static_cast<float>(m), m, Storage::i8};
      return q + 2;
    }
  }
  Token other;
  const char* const end = read_other_token(q, &other);
  t = other;
  return end;
}

// Skips white space and reads the next token into t; when it is not a number
// sets `bad` to its start.
__attribute__((always_inline)) inline bool next_token(const char*& q, Token& t, const char*& bad) {
  const char* r = q;
  while (kSpace.space[static_cast<unsigned char>(*r)]) ++r;
  const char* const end = read_token(r, t);
  if (end == nullptr) {
    bad = r;
    const char* e = r;
    while (!kSpace.space[static_cast<unsigned char>(*e)]) ++e;
    q = e;
    return false;
  }
  q = end;
  return true;
}

// Parses the part's tokens with index below `total` and places each value by
// its index: starting values, then row by row the coefficients (the diagonal
// apart) and the right-hand side.
template <typename T>
void parse_part(Problem& p, Part& part, int64_t total) {
  constexpr Storage kStorage = sizeof(T) == 1 ? Storage::i8 : sizeof(T) == 2 ? Storage::i16 : Storage::f32;
  part.bad = -1;
  part.need = Storage::i8;
  int64_t count = part.tokens;
  if (part.first + count > total) count = total - part.first;
  if (count <= 0) return;
  const int32_t n = p.num;
  int64_t v = part.first - 2;  // index of the next value
  const int64_t v_end = v + count;
  const char* q = part.begin;
  const char* bad = nullptr;
  Token t;
  Storage need = Storage::i8;
  for (; v < n && v < v_end; ++v) {
    if (!next_token(q, t, bad)) break;
    p.x[v] = t.value;
  }
  float* const diag = p.diag.data();
  while (bad == nullptr && v < v_end) {
    const int64_t u = v - n;
    const int32_t row = static_cast<int32_t>(u / (int64_t{n} + 1));
    const int32_t first_col = static_cast<int32_t>(u % (int64_t{n} + 1));
    const int32_t stop = static_cast<int32_t>(std::min<int64_t>(n, first_col + (v_end - v)));
    int32_t col = first_col;
    if (row < p.row_begin || row >= p.row_end) {
      // A row another process holds: read, not kept.
      while (col < stop && next_token(q, t, bad)) ++col;
      v += col - first_col;
      if (bad != nullptr) break;
      if (col == n && v < v_end) {
        if (!next_token(q, t, bad)) break;
        ++v;
      }
      continue;
    }
    T* const base = p.a.row_base<T>(row);
    const size_t stride = static_cast<size_t>(p.a.panel_height((row - p.row_begin) / P));
    for (; col < stop; ++col) {
      if (!next_token(q, t, bad)) break;
      if (col == row) {
        diag[row] = t.value;
      } else if constexpr (kStorage == Storage::f32) {
        base[static_cast<size_t>(col) * stride] = t.value;
      } else {
        if (t.fits == Storage::f32) {  // not worked out yet
          t.fits = storage_for(t.value);
          t.whole = t.fits == Storage::f32 ? 0 : static_cast<int32_t>(t.value);
        }
        if (t.fits <= kStorage)
          base[static_cast<size_t>(col) * stride] = static_cast<T>(t.whole);
        else if (t.fits > need)
          need = t.fits;
      }
    }
    v += col - first_col;
    if (bad != nullptr) break;
    if (col == n && v < v_end) {
      if (!next_token(q, t, bad)) break;
      p.b[row] = t.value;
      ++v;
    }
  }
  part.need = need;
  if (bad != nullptr) {
    part.bad = v + 2;
    part.bad_begin = bad;
    part.bad_end = q;
  }
}

void parse_part(Problem& p, Part& part, int64_t total) {
  switch (p.a.storage()) {
    case Storage::i8: parse_part<int8_t>(p, part, total); break;
    case Storage::i16: parse_part<int16_t>(p, part, total); break;
    default: parse_part<float>(p, part, total); break;
  }
}

class Loader {
 public:
  Loader(Problem& p, Reader& reader, Context& ctx) : p_(p), in_(reader), ctx_(ctx) {}

  void run(bool size_known, uint64_t size) {
    size_ = size_known ? size : 0;
    const char* begin = nullptr;
    const char* end = nullptr;
    // The count decides first. A file without a token is the empty problem,
    // as is a count of 0 whatever follows it: both load with no values, and
    // the pre-check refuses them. A negative count asks for more memory
    // than exists, whatever follows it.
    int32_t num = 0;
    if (in_.next_token(begin, end) && !parse_count(begin, end, num))
      fail("Cannot read file %s: expected %s (a whole number from -2147483648 to 2147483647) at line %lld, found %s\n",
           in_.path(), describe(0, 0).c_str(), static_cast<long long>(in_.line()), quote(begin, end).c_str());
    if (num < 0) fail("Cannot allocate a!\n");
    p_.num = num;
    if (num == 0) {
      allocate(0);
      return;
    }
    if (!in_.next_token(begin, end)) ends_before(1);
    float err = 0.0f;
    if (!parse_float(begin, end, err)) bad_token(1, begin, end, in_.line());
    p_.err = err;

    // Every value takes at least one byte and a separator before it.
    const uint64_t values = static_cast<uint64_t>(num) * (static_cast<uint64_t>(num) + 2);
    total_ = 2 + static_cast<int64_t>(values);
    if (size_known) {
      const uint64_t done = in_.offset(in_.pos());
      const uint64_t left = size > done ? size - done : 0;
      if (left / 2 < values)
        fail("Cannot read file %s: the file is too short for %d variables: their values need at least %llu more bytes, "
             "and %llu remain\n",
             in_.path(), num, static_cast<unsigned long long>(values) * 2, static_cast<unsigned long long>(left));
    }
    allocate(num);
    read_values();
  }

 private:
  [[noreturn]] void ends_before(int64_t t) {
    fail("Cannot read file %s: the file ends at line %lld before %s\n", in_.path(),
         static_cast<long long>(in_.last_line()), describe(t, p_.num).c_str());
  }

  [[noreturn]] void bad_token(int64_t t, const char* begin, const char* end, int64_t line) {
    fail("Cannot read file %s: expected a number for %s at line %lld, found %s\n", in_.path(),
         describe(t, p_.num).c_str(), static_cast<long long>(line), quote(begin, end).c_str());
  }

  void allocate(int32_t num) {
    int32_t begin = p_.row_begin, end = p_.row_end;
    if (p_.blocks > 1) {
      begin = static_cast<int32_t>(int64_t{num} * p_.block / p_.blocks);
      end = static_cast<int32_t>(int64_t{num} * (p_.block + 1) / p_.blocks);
    }
    if (end < 0 || end > num) end = num;
    if (begin < 0) begin = 0;
    if (begin > end) begin = end;
    p_.row_begin = begin;
    p_.row_end = end;
    if (!p_.a.allocate(num, begin, end - begin) || !p_.diag.allocate(num)) fail("Cannot allocate a!\n");
    if (!p_.x.allocate(num)) fail("Cannot allocate x!\n");
    if (!p_.curr.allocate(num)) fail("Cannot allocate curr!\n");
    if (!p_.b.allocate(num)) fail("Cannot allocate b!\n");
  }

  void read_values() {
    int64_t t = 2;  // index of the next token
    while (t < total_) {
      if (in_.pos() == in_.end()) {
        if (!in_.fill(chunk_capacity())) break;
        continue;
      }
      // Complete tokens end at the last white space of the buffer, or at
      // the end of the file.
      size_t cut = in_.end();
      if (!in_.eof()) {
        while (cut > in_.pos() && !kSpace.space[static_cast<unsigned char>(in_.data()[cut - 1])]) --cut;
        if (cut == in_.pos()) {
          in_.too_long(in_.end() - in_.pos());
          in_.fill(chunk_capacity());  // grows the buffer round a long token
          continue;
        }
      }
      t = parse_chunk(t, cut);
    }
    if (t < total_) ends_before(t);
  }

  size_t chunk_capacity() const {
    const size_t chunk = ctx_.part_bytes * static_cast<size_t>(ctx_.workers.size());
    if (p_.a.storage() == Storage::f32) return chunk;
    // Compact chunks stay small beside the matrix, so that a small problem
    // is not outweighed by its read buffer.
    return std::max(chunk, std::min(chunk * ctx_.compact_chunks, p_.a.bytes() / 4));
  }

  // Parses the complete tokens in data()[pos() .. cut), whose first is token t;
  // returns the index of the next token.
  int64_t parse_chunk(int64_t t, size_t cut) {
    char* const text = in_.data();
    const size_t from = in_.pos();
    const size_t length = cut - from;
    const int members = length >= ctx_.team_bytes ? ctx_.workers.size() : 1;
    std::vector<Part> parts(static_cast<size_t>(members));
    size_t bound = from;
    for (int k = 0; k < members; ++k) {
      Part& part = parts[static_cast<size_t>(k)];
      part.begin = text + bound;
      size_t next = k + 1 == members ? cut : from + length * static_cast<size_t>(k + 1) / static_cast<size_t>(members);
      if (next < bound) next = bound;
      while (next < cut && next > from && !kSpace.space[static_cast<unsigned char>(text[next - 1])]) ++next;
      part.end = text + next;
      bound = next;
    }
    auto each = [&](auto&& job) {
      if (members == 1)
        job(parts[0]);
      else
        ctx_.workers.run([&](int k) {
          if (k < members) job(parts[static_cast<size_t>(k)]);
        });
    };
    each([](Part& part) { count_tokens(part); });
    int64_t next = t;
    for (Part& part : parts) {
      part.first = next;
      next += part.tokens;
    }
    bool widened = false;
    for (;;) {
      each([&](Part& part) { parse_part(p_, part, total_); });
      Storage need = p_.a.storage();
      for (const Part& part : parts) {
        if (part.bad >= 0) {
          const int64_t line = in_.line() + newlines_before(text + from, part.bad_begin);
          bad_token(part.bad, part.bad_begin, part.bad_end, line);
        }
        if (part.need > need) need = part.need;
      }
      if (need <= p_.a.storage()) break;
      // A coefficient does not fit the compact storage: widen what has been
      // stored so far and place this chunk again.
      const int64_t last = (next < total_ ? next : total_) - 1 - 2;  // last value index placed
      const int64_t row_end = last < p_.num ? 0 : (last - p_.num) / (int64_t{p_.num} + 1) + 1;
      if (!p_.a.widen(need, static_cast<int32_t>(row_end))) fail("Cannot allocate a!\n");
      widened = true;
    }
    int64_t newlines = 0;
    for (const Part& part : parts) newlines += part.newlines;
    in_.consume(cut, newlines);
    // Memory for the float matrix comes first: the read buffer gives back
    // what it took for compact chunks.
    if (widened && p_.a.storage() == Storage::f32) in_.shrink(chunk_capacity());
    // The buffer may have moved: its position, not `cut`, gives the offset.
    if (ctx_.progress != nullptr) ctx_.progress->advance(in_.offset(in_.pos()), size_);
    return next;
  }

  static int64_t newlines_before(const char* begin, const char* end) {
    int64_t count = 0;
    for (const char* q = begin; q != end; ++q) count += *q == '\n';
    return count;
  }

  Problem& p_;
  Reader& in_;
  Context& ctx_;
  int64_t total_ = 2;
  uint64_t size_ = 0;
};

}  // namespace

void get_input(Problem& p, const char* path, Context& ctx) {
  FileHandle file(open(path, O_RDONLY | O_CLOEXEC));
  struct stat st {};
  if (file.fd() < 0 || fstat(file.fd(), &st) != 0 || S_ISDIR(st.st_mode)) fail("Cannot open file %s\n", path);
  // The progress shown, if any, ends with the loading, whichever way.
  struct Finish {
    Progress* progress;
    ~Finish() {
      if (progress != nullptr) progress->finish();
    }
  } finish{ctx.progress};
  try {
    const uint64_t size = S_ISREG(st.st_mode) && st.st_size > 0 ? static_cast<uint64_t>(st.st_size) : 0;
    Reader reader(file.fd(), path, ctx.part_bytes < kFirstRead ? ctx.part_bytes : kFirstRead, size);
    Loader loader(p, reader, ctx);
    // Some files (under /proc) call themselves regular with size 0 and still
    // hold bytes: their size is as unknown as a pipe's.
    loader.run(S_ISREG(st.st_mode) && st.st_size > 0, static_cast<uint64_t>(st.st_size));
  } catch (const std::bad_alloc&) {
    fail("Cannot read file %s: not enough memory to read it\n", path);
  }
}

}  // namespace itsolv

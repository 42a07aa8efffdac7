// A token is a number exactly when the C library's scan under "%f" consumes
// all of it, and then reads as exactly the float that the scan stores,
// through every route of the reader: short integers, decimals, fast_float and
// the scan itself.
#include "parse/number_token.hpp"

#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <random>
#include <regex>
#include <string>
#include <vector>

#include "kernels/isa_table.hpp"
#include "load/loader.hpp"
#include "support/float_bits.hpp"
#include "support/isas.hpp"
#include "support/load_values.hpp"
#include "support/number_corpus.hpp"
#include "support/problem_access.hpp"
#include "support/temp_files.hpp"

using testing_support::bits;

namespace {

// A plain integer token of one to seven digits with an optional '-', read
// with the loader's eight-digit reader: the shortest path through it. `p`
// must be followed by white space within its readable bytes, and 8 more.
// The length is 0 when the token is not such an integer.
struct ShortInteger {
  int length;
  bool negative;
  int32_t magnitude;
};
ShortInteger read_short_integer(const char* p) {
  const bool negative = *p == '-';
  const char* q = p + negative;
  uint64_t m = 0;
  const int length = itsolv::read_digits(q, m);
  if (length == 0 || length > 7 || !itsolv::is_space(*q)) return {0, false, 0};
  return {length + negative, negative, static_cast<int32_t>(m)};
}

}  // namespace
using testing_support::by_scan;
using testing_support::corpus;

// The corpus, numbers and not, and the scan's own forms, which strtof
// reads only in part.
TEST(NumberTokens, ParseFloatAgreesWithTheScan) {
  for (const std::string& token : corpus()) {
    float v = 12345.0f, expected = 0;
    const bool number = literal::whole_float(token, &expected);
    ASSERT_EQ(itsolv::parse_float(token.data(), token.data() + token.size(), v), number) << token;
    if (number) {
      EXPECT_EQ(bits(v), bits(expected)) << token;
    }
  }
  const struct {
    const char* token;
    float value;
  } own_forms[] = {{"2e", 2},   {"1e+", 1},   {"1E-", 1}, {"5e-", 5},
                   {"0x1p", 1}, {"0x1p+", 1}, {"0x.", 0}, {"-0x.", -0.0f}};
  for (const auto& [token, value] : own_forms) {
    float v = 12345.0f;
    ASSERT_TRUE(itsolv::parse_float(token, token + std::strlen(token), v)) << token;
    EXPECT_EQ(bits(v), bits(value)) << token;
  }
}

TEST(NumberTokens, FastRoutesAgreeWithTheScanOrDecline) {
  for (const std::string& token : corpus()) {
    const std::string padded = token + std::string(32, ' ');
    float v = 0;
    if (const int length = itsolv::read_decimal(padded.c_str(), v)) {
      EXPECT_EQ(static_cast<size_t>(length), token.size()) << token;
      EXPECT_EQ(bits(v), bits(by_scan(token))) << token;
    }
    for (itsolv::Isa isa : testing_support::supported_isas())
      if (const itsolv::DecimalRunReader run = itsolv::isa_table(isa).decimal_reader) {
        const char* q = padded.c_str();
        float vals[1 + 8];
        if (run(q, 1, vals) == 1) {
          EXPECT_EQ(static_cast<size_t>(q - padded.c_str()), token.size()) << token;
          EXPECT_EQ(bits(vals[0]), bits(by_scan(token))) << token;
        } else {
          EXPECT_EQ(q, padded.c_str()) << token;
        }
      }
    const ShortInteger whole = read_short_integer(padded.c_str());
    if (whole.length > 0) {
      EXPECT_EQ(static_cast<size_t>(whole.length), token.size()) << token;
      const float f = static_cast<float>(whole.magnitude);
      EXPECT_EQ(bits(whole.negative ? -f : f), bits(by_scan(token))) << token;
    }
  }
}

// The corpus's numbers as one text, white space of 1 to 70 bytes between
// them so that tokens start and end at every offset of the vector readers'
// blocks, read in runs of several lengths; a token a run leaves is read by
// parse_float.
TEST(NumberTokens, DecimalRunsReadEveryTokenAsTheScanDoes) {
  std::mt19937 rng(7);
  const std::vector<std::string> tokens = testing_support::numbers();
  std::string text;
  for (const std::string& t : tokens)
    text += t + std::string(rng() % 7 == 0 ? 1 + rng() % 70 : 1, " \n\t\r\v\f"[rng() % 6]);
  text += std::string(64, ' ');
  // What the run readers take (tokens under 32 bytes, mantissas of at most
  // 19 digits): every token they take is of it, every token they leave is not.
  const std::regex taken_form("[-+]?([0-9]+[.]?[0-9]*|[.][0-9]+)([eE][-+]?[0-9]{1,3})?");
  const auto of_taken_form = [&](const std::string& t) {
    const std::string mantissa = t.substr(0, t.find_first_of("eE"));
    const auto digits = std::count_if(mantissa.begin(), mantissa.end(), ::isdigit);
    return t.size() < 32 && digits <= 19 && std::regex_match(t, taken_form);
  };
  for (itsolv::Isa isa : testing_support::supported_isas())
    for (int32_t max : {1, 7, 256})
      if (const itsolv::DecimalRunReader run = itsolv::isa_table(isa).decimal_reader) {
        const char* q = text.c_str();
        std::vector<float> vals(static_cast<size_t>(max) + 8);
        for (size_t k = 0; k < tokens.size();) {
          const int32_t got = run(q, std::min<int32_t>(max, static_cast<int32_t>(tokens.size() - k)), vals.data());
          for (int32_t i = 0; i < got; ++i, ++k) {
            ASSERT_EQ(bits(vals[static_cast<size_t>(i)]), bits(by_scan(tokens[k]))) << tokens[k] << " " << max;
            EXPECT_TRUE(of_taken_form(tokens[k])) << tokens[k] << " taken";
          }
          if (got == max || k == tokens.size()) continue;
          while (itsolv::is_space(*q)) ++q;
          ASSERT_EQ(std::string(q, tokens[k].size()), tokens[k]);
          EXPECT_FALSE(of_taken_form(tokens[k])) << tokens[k] << " left";
          q += tokens[k++].size();
        }
      }
}

TEST(NumberTokens, CountIsAWholeSigned32BitDecimal) {
  const std::pair<const char*, int32_t> counts[] = {{"2147483647", INT32_MAX}, {"-2147483648", INT32_MIN}, {"+007", 7}};
  for (const auto& [token, value] : counts) {
    int32_t v = 0;
    EXPECT_TRUE(itsolv::parse_count(token, token + std::strlen(token), v) && v == value) << token;
  }
  for (const char* bad : {"2147483648", "-2147483649", "99999999999", "2.5", "1e3", "0x10", "", "-", "7 "}) {
    int32_t v = 0;
    EXPECT_FALSE(itsolv::parse_count(bad, bad + std::strlen(bad), v)) << bad;
  }
}

// The numbers of the same corpus through the loader, as the values of a
// problem file.
TEST(NumberTokens, LoaderReadsTheCorpusAsTheScanDoes) {
  std::vector<std::string> tokens = testing_support::numbers();
  int32_t n = 1;
  while (static_cast<size_t>(n) * (n + 2) < tokens.size()) ++n;
  const size_t values = static_cast<size_t>(n) * (n + 2);
  for (size_t i = tokens.size(); i < values; ++i) tokens.push_back(tokens[i % 97]);
  std::string text = std::to_string(n) + " 0.5\n";
  for (const std::string& t : tokens) text += t + (t.size() % 3 ? " " : "\n");
  const testing_support::TempFile file(text);
  for (int threads : {1, 2})
    for (itsolv::Isa isa : testing_support::supported_isas()) {
      itsolv::LoadOptions options;
      options.isa = isa;
      options.part_bytes = 4096;
      options.team_bytes = 0;
      itsolv::Problem p;
      ASSERT_EQ(load_message(p, file.path(), threads, options), "");
      size_t k = 0;
      for (int32_t i = 0; i < n; ++i, ++k) ASSERT_EQ(bits(p.x[i]), bits(by_scan(tokens[k]))) << tokens[k];
      for (int32_t i = 0; i < n; ++i) {
        for (int32_t j = 0; j < n; ++j, ++k)
          ASSERT_EQ(bits(testing_support::coefficient(p, i, j)), bits(by_scan(tokens[k]))) << tokens[k];
        ASSERT_EQ(bits(p.b[i]), bits(by_scan(tokens[k++])));
      }
    }
}

// Runs of short tokens (and a few others, which end a run) whose last token
// has only the 64 blanks that a text guarantees after it and then an
// unreadable page, ending at every offset of a 64-byte block: the short
// readers read every value as the scan does and never touch the page.
TEST(NumberTokens, ShortRunsReadNoFurtherThanTheBytesAfterTheLastToken) {
  const std::string shapes[] = {"7", "42", "-5", "-17", "0", "99", "-99", "123", "-0", "+4", "1.5"};
  const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
  void* const memory = mmap(nullptr, 4 * page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  ASSERT_NE(memory, MAP_FAILED);
  char* const guard = static_cast<char*>(memory) + 3 * page;
  ASSERT_EQ(mprotect(guard, page, PROT_NONE), 0);
  std::mt19937 rng(11);
  for (int round = 0; round < 64 * 8; ++round) {
    std::vector<std::string> tokens;
    std::string text;
    for (size_t k = 0, count = 1 + rng() % 120; k < count; ++k) {
      tokens.push_back(shapes[rng() % (round % 2 ? 4 : std::size(shapes))]);
      text += (k > 0 ? std::string(rng() % 9 == 0 ? 1 + rng() % 70 : 1, " \n\t"[rng() % 3]) : "") + tokens.back();
    }
    text += std::string(64, ' ');
    ASSERT_LE(text.size(), 3 * page);
    char* const begin = guard - text.size();
    std::memcpy(begin, text.data(), text.size());
    for (itsolv::Isa isa : testing_support::supported_isas())
      if (const itsolv::ShortRunReader run = itsolv::isa_table(isa).short_reader) {
        const char* q = begin;
        int8_t vals[128 + itsolv::kBlockValues];
        for (size_t k = 0; k < tokens.size();) {
          const int32_t max =
              std::min<int32_t>(round % 3 ? 128 : 1 + round % 5, static_cast<int32_t>(tokens.size() - k));
          const int32_t got = run(q, max, vals);
          for (int32_t i = 0; i < got; ++i, ++k)
            ASSERT_EQ(bits(static_cast<float>(vals[i])), bits(by_scan(tokens[k])))
                << itsolv::isa_name(isa) << " " << tokens[k];
          if (got == max) continue;
          while (itsolv::is_space(*q)) ++q;
          ASSERT_EQ(std::string(q, tokens[k].size()), tokens[k]) << itsolv::isa_name(isa);
          q += tokens[k++].size();  // a token the run leaves
        }
      }
  }
  munmap(memory, 4 * page);
}

// Two decimals with more than 4 GiB of blanks between them (the text maps
// a few pieces of one memory file over and over): a run takes the first
// alone, without reading the second from a wrong place, and the next run
// from the second's start takes it.
TEST(NumberTokens, DecimalRunsEndBeforeVeryLongWhiteSpace) {
  constexpr size_t kPiece = size_t{1} << 20, kPieces = 4100;
  const int fd = memfd_create("blanks", 0);
  if (fd < 0) GTEST_SKIP() << "no memory file: " << std::strerror(errno);
  std::string piece(kPiece, ' ');
  bool written = ftruncate(fd, 3 * kPiece) == 0 && pwrite(fd, piece.data(), kPiece, kPiece) == ssize_t{kPiece};
  piece.replace(0, 3, "1.5");
  written = written && pwrite(fd, piece.data(), kPiece, 0) == ssize_t{kPiece};
  piece.replace(0, 3, "   ").replace(kPiece - 100, 7, "-2.5e-3");
  written = written && pwrite(fd, piece.data(), kPiece, 2 * kPiece) == ssize_t{kPiece};
  char* const text = static_cast<char*>(
      mmap(nullptr, kPieces * kPiece, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0));
  for (size_t k = 0; written && text != MAP_FAILED && k < kPieces; ++k) {
    const off_t from = static_cast<off_t>(k == 0 ? 0 : k + 1 < kPieces ? kPiece : 2 * kPiece);
    written = mmap(text + k * kPiece, kPiece, PROT_READ, MAP_SHARED | MAP_FIXED, fd, from) != MAP_FAILED;
  }
  close(fd);
  if (!written || text == MAP_FAILED) {
    if (text != MAP_FAILED) munmap(text, kPieces * kPiece);
    GTEST_SKIP() << "cannot map " << kPieces << " pieces of a memory file";
  }
  const char* const second = text + kPieces * kPiece - 100;
  for (itsolv::Isa isa : testing_support::supported_isas())
    if (const itsolv::DecimalRunReader run = itsolv::isa_table(isa).decimal_reader) {
      float vals[2 + 8] = {};
      const char* q = text;
      EXPECT_EQ(run(q, 2, vals), 1);
      EXPECT_EQ(q, text + 3);
      EXPECT_EQ(bits(vals[0]), bits(1.5f));
      q = second;
      EXPECT_EQ(run(q, 1, vals), 1);
      EXPECT_EQ(q, second + 7);
      EXPECT_EQ(bits(vals[0]), bits(by_scan("-2.5e-3")));
    }
  munmap(text, kPieces * kPiece);
}

// The loader places every value of a file where the literal reading puts
// it, whatever the chunking, team size and storage, and refuses files that
// are not whole problems with one line that says what and where.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <memory>
#include <random>
#include <string>

#include "failure.hpp"
#include "loader.hpp"
#include "support/isas.hpp"
#include "support/problem_values.hpp"
#include "value_placement.hpp"

using itsolv::Isa;
using testing_support::Kind;
using testing_support::Values;

namespace {

class TempFile {
 public:
  explicit TempFile(const std::string& text) {
    char name[] = "/tmp/itsolv-loader-XXXXXX";
    const int fd = mkstemp(name);
    path_ = name;
    if (fd < 0 || write(fd, text.data(), text.size()) != static_cast<ssize_t>(text.size())) std::abort();
    close(fd);
  }
  ~TempFile() { unlink(path_.c_str()); }
  const char* path() const { return path_.c_str(); }

 private:
  std::string path_;
};

struct Setting {
  int threads;
  size_t part_bytes;  // tiny parts move chunk and part boundaries everywhere
};

itsolv::Workers& team(int threads) {
  static std::unique_ptr<itsolv::Workers> teams[4];
  if (!teams[threads]) teams[threads] = std::make_unique<itsolv::Workers>(threads);
  return *teams[threads];
}

// Loads text; returns the failure's message, or "" on success.
std::string load(const std::string& text, itsolv::Problem& p, Setting s = {1, size_t{4} << 20},
                 Isa isa = itsolv::best_isa()) {
  TempFile file(text);
  itsolv::LoadOptions options;
  options.isa = isa;
  options.part_bytes = s.part_bytes;
  options.team_bytes = s.part_bytes < 64 ? 0 : s.part_bytes;
  try {
    itsolv::get_input(p, file.path(), team(s.threads), options);
  } catch (const itsolv::Failure& f) {
    return f.message;
  }
  return "";
}

bool same_bits(float a, float b) { return std::memcmp(&a, &b, sizeof a) == 0; }

void expect_loaded(const itsolv::Problem& p, const Values& v) {
  ASSERT_EQ(p.num, v.num);
  ASSERT_TRUE(same_bits(p.err, v.err));
  for (int32_t i = 0; i < v.num; ++i) {
    ASSERT_TRUE(same_bits(p.x[i], v.x[static_cast<size_t>(i)])) << "x " << i;
    ASSERT_TRUE(same_bits(p.b[i], v.b[static_cast<size_t>(i)])) << "b " << i;
    for (int32_t j = 0; j < v.num; ++j) {
      const float want = v.a[static_cast<size_t>(i) * v.num + j];
      const float got = p.coefficient(i, j);
      // Compact storage keeps integers; -0 only ever lands in float storage.
      ASSERT_TRUE(same_bits(got, want)) << "a " << i << " " << j << " got " << got << " want " << want;
    }
  }
}

const Setting kSettings[] = {{1, size_t{4} << 20}, {2, 16}, {3, 48}, {2, 1000}, {3, 4096}};

}  // namespace

TEST(LoaderPlacesValues, InEverySettingAndStorage) {
  for (Kind kind : {Kind::small_integers, Kind::wide_integers, Kind::decimals, Kind::specials})
    for (int32_t n : {1, 2, 15, 16, 17, 63, 64, 65, 100, 130}) {
      const Values v = testing_support::random_values(n, kind, 1000 + n);
      for (const Setting& s : kSettings)
      for (Isa isa : testing_support::supported_isas()) {
        if (s.part_bytes < 64 && n > 65) continue;  // thousands of chunks: slow, and nothing new
        itsolv::Problem p;
        ASSERT_EQ(load(testing_support::problem_text(v), p, s, isa), "") << n << itsolv::isa_name(isa);
        expect_loaded(p, v);
        // The narrowest storage that holds every off-diagonal value.
        itsolv::Storage want = itsolv::Storage::i8;
        for (int32_t i = 0; i < n; ++i)
          for (int32_t j = 0; j < n; ++j)
            if (i != j) want = std::max(want, itsolv::storage_for(v.a[static_cast<size_t>(i) * n + j]));
        EXPECT_EQ(p.a.storage(), want) << n;
      }
    }
}

// Megabytes at a time are read by the team, each member a slice; a file
// whose size is not a whole number of slices ends in a short one.
TEST(LoaderPlacesValues, LargeReadsSharedByTheTeam) {
  for (Kind kind : {Kind::small_integers, Kind::decimals}) {
    const Values v = testing_support::random_values(kind == Kind::decimals ? 500 : 700, kind, 21);
    for (int threads : {2, 3}) {
      itsolv::Problem p;
      ASSERT_EQ(load(testing_support::problem_text(v), p, {threads, size_t{3} << 20}), "");
      expect_loaded(p, v);
    }
  }
}

TEST(LoaderPlacesValues, ALateWideValueWidensWhatCameBefore) {
  Values v = testing_support::random_values(150, Kind::small_integers, 7);
  v.at(149, 3) = 1000.0f;  // first value beyond 8 bits, in the last row
  v.at(120, 7) = 0.5f;     // and a fraction
  for (const Setting& s : kSettings) {
    itsolv::Problem p;
    ASSERT_EQ(load(testing_support::problem_text(v), p, s), "");
    EXPECT_EQ(p.a.storage(), itsolv::Storage::f32);
    expect_loaded(p, v);
  }
}

TEST(LoaderPlacesValues, AnyWhiteSpaceAndTokenForm) {
  const Values v = testing_support::random_values(40, Kind::decimals, 9);
  for (const char* sep : {" ", "\t", "  \v ", "\f"})
    for (const char* end : {"\n", "\r\n", "\n\n\t", " "}) {
      itsolv::Problem p;
      ASSERT_EQ(load(testing_support::problem_text(v, sep, end), p, {2, 32}), "");
      expect_loaded(p, v);
    }
  itsolv::Problem p;
  ASSERT_EQ(load("2 1e-3\n+0 -0\n200 2e2 0x1p3\n200.0 +37 .5e1\n", p), "");
  EXPECT_EQ(p.coefficient(0, 0), 200.0f);
  EXPECT_EQ(p.coefficient(0, 1), 200.0f);
  EXPECT_EQ(p.b[0], 8.0f);
  EXPECT_EQ(p.coefficient(1, 0), 200.0f);
  EXPECT_EQ(p.b[1], 5.0f);
  EXPECT_TRUE(std::signbit(p.x[1]));
}

// Rows of tokens near the short shapes (one or two digits, a minus sign or
// not), in runs that cross the 64-byte blocks of the vector readers at every
// offset: each instruction set, storage and team loads the values, or
// refuses with the message, that the scalar reader gives.
TEST(LoaderPlacesValues, TokensNearTheShortShapesAsTheScalarReaderReadsThem) {
  const std::string shorts[] = {"7", "42", "-5", "-17"};
  const std::string others[] = {"0", "-0", "-00", "00", "07", "+7", "100", "-128", "999", "1.5", "1e1", "0x10", "inf"};
  const std::string wrong[] = {"--7", "7-", "-", "1-2", "3x", "4\x01", "-+1"};
  const std::string separators[] = {" ", "  ", "\t", "\n", std::string(61, ' ')};
  std::mt19937 rng(12);
  auto pick = [&](size_t size) { return std::uniform_int_distribution<size_t>(0, size - 1)(rng); };
  for (int round = 0; round < 60; ++round) {
    const int32_t n = 1 + static_cast<int32_t>(pick(40));
    std::string text = std::to_string(n) + " 0.001\n";
    for (int64_t k = 0; k < int64_t{n} * (n + 2); ++k) {
      // Mostly short tokens, now and then another number; in some rounds
      // a token that is not a number.
      const std::string& form = round % 4 == 0 && pick(300) == 0 ? wrong[pick(std::size(wrong))]
                                : pick(8) == 0                  ? others[pick(std::size(others))]
                                                                : shorts[pick(std::size(shorts))];
      text += form + separators[pick(round % 2 ? 5 : 2)];
    }
    // The message without the temporary file's name.
    auto unnamed = [](std::string message) {
      const size_t at = message.find("/tmp/itsolv-loader-");
      return at == std::string::npos ? message : message.erase(at, std::strlen("/tmp/itsolv-loader-XXXXXX"));
    };
    itsolv::Problem want;
    const std::string refusal = unnamed(load(text, want, {1, size_t{4} << 20}, Isa::plain));
    for (const Setting& s : kSettings)
      for (Isa isa : testing_support::supported_isas()) {
        itsolv::Problem p;
        ASSERT_EQ(unnamed(load(text, p, s, isa)), refusal) << itsolv::isa_name(isa) << " " << text;
        if (!refusal.empty()) continue;
        ASSERT_EQ(p.a.storage(), want.a.storage());
        for (int32_t i = 0; i < n; ++i) {
          ASSERT_TRUE(same_bits(p.x[i], want.x[i]) && same_bits(p.b[i], want.b[i])) << i;
          for (int32_t j = 0; j < n; ++j) ASSERT_TRUE(same_bits(p.coefficient(i, j), want.coefficient(i, j))) << text;
        }
      }
  }
}

TEST(LoaderPlacesValues, IgnoresWhatFollowsTheLastRightHandSide) {
  itsolv::Problem p;
  EXPECT_EQ(load("1 0.001 0 4 2 junk \x01 more", p), "");
  EXPECT_EQ(p.b[0], 2.0f);
}

TEST(LoaderPlacesValues, CountZeroLoadsEmpty) {
  // Nothing after a count of 0 is read, and no token at all is the same.
  for (const char* text : {"0 0.5", "0 abc", "", "\n\t \n"}) {
    itsolv::Problem p;
    EXPECT_EQ(load(text, p), "") << text;
    EXPECT_EQ(p.num, 0);
    EXPECT_EQ(p.err, 0.0f);
  }
}

TEST(LoaderRefuses, MalformedTokensNamingValueAndLine) {
  struct Case {
    std::string text;
    const char* reason;
  } cases[] = {
      {"2 0.1\n0 0\n1 37x 3\n4 5 6\n", "expected a number for the coefficient a[0][1] at line 3, found \"37x\""},
      {"2 0.1\n0 0\n1 3 3\n4 1.5.2 6\n", "the coefficient a[1][1] at line 4"},
      {"2 0.1\n0 abc\n1 3 3\n4 5 6\n", "the starting value x[1] at line 2"},
      {"2 0.1\n0 0\n1 3 3\n4 5 \xff\n", "the right-hand side b[1] at line 4, found \"\\xff\""},
      {std::string("2 0.1\n0 0\n1 3 3\n4 5 6\0\n", 22), "the right-hand side b[1] at line 4, found \"6\\x00\""},
      {"2 tol\n0 0\n1 3 3\n4 5 6\n", "expected a number for the tolerance at line 1"},
      {"2.5 1 0 0 1 2 3 4 5 6", "the number of variables"},
      {"1e3 1 0 0 1 2 3 4 5 6", "the number of variables"},
      {"99999999999 1 0", "the number of variables"},
      {"3", "the file ends at line 1 before the tolerance"},
  };
  for (const Case& c : cases)
  for (Isa isa : testing_support::supported_isas()) {
    itsolv::Problem p;
    const std::string message = load(c.text, p, {1, size_t{4} << 20}, isa);
    EXPECT_EQ(message.rfind("Cannot read file /tmp/itsolv-loader-", 0), 0u) << message;
    EXPECT_NE(message.find(c.reason), std::string::npos) << message << " wanted: " << c.reason;
    EXPECT_EQ(message.back(), '\n');
    EXPECT_EQ(message.find('\n'), message.size() - 1) << "one line: " << message;
  }
}

TEST(LoaderRefuses, ShortFilesInEverySetting) {
  const Values v = testing_support::random_values(30, Kind::small_integers, 11);
  const std::string text = testing_support::problem_text(v);
  // Cut the text inside the last row: the size check passes only when
  // enough bytes remain, so pad with blanks to reach the reading itself.
  const std::string cut = text.substr(0, text.size() - 40) + std::string(200, ' ');
  for (const Setting& s : kSettings)
  for (Isa isa : testing_support::supported_isas()) {
    itsolv::Problem p;
    const std::string message = load(cut, p, s, isa);
    EXPECT_NE(message.find("the file ends at line 33 before the coefficient a[29]["), std::string::npos) << message;
  }
}

TEST(LoaderRefuses, ACountTheFileCannotHoldBeforeAllocating) {
  itsolv::Problem p;
  const std::string message = load("2000000000 0.1 1 2 3", p);
  EXPECT_NE(message.find("too short for 2000000000 variables"), std::string::npos) << message;
  EXPECT_EQ(p.a.n(), 0);  // nothing reserved
}

TEST(LoaderRefuses, NegativeCountAsAnAllocationFailure) {
  itsolv::Problem p;
  EXPECT_EQ(load("-4 0.1", p), "Cannot allocate a!\n");
  EXPECT_EQ(load("-4", p), "Cannot allocate a!\n");
}

TEST(LoaderRefuses, PathsThatCannotBeOpened) {

  for (const char* path : {"/nonexistent/problem.txt", "/tmp"}) {
    itsolv::Problem p;
    try {
      itsolv::get_input(p, path, team(1));
      ADD_FAILURE() << path;
    } catch (const itsolv::Failure& f) {
      EXPECT_EQ(f.message, std::string("Cannot open file ") + path + "\n");
    }
  }
}

// Token t's place in a file of 3 variables (count, tolerance, x[0..2], then
// rows of a[i][0..2] b[i]), and the rows that the tokens before it reach: a
// widening keeps the values of every row up to and including the one of the
// last token placed.
TEST(TokenPlaces, EachIndexHasOnePlace) {
  struct Case {
    int64_t t;
    const char* described;
    int32_t rows_reached_after;
  };
  const Case cases[] = {
      {0, "the number of variables", 0},
      {1, "the tolerance", 0},
      {2, "the starting value x[0]", 0},
      {4, "the starting value x[2]", 0},
      {5, "the coefficient a[0][0]", 1},
      {8, "the right-hand side b[0]", 1},
      {9, "the coefficient a[1][0]", 2},
      {11, "the coefficient a[1][2]", 2},
      {12, "the right-hand side b[1]", 2},
      {16, "the right-hand side b[2]", 3},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(itsolv::describe(c.t, 3), c.described) << c.t;
    EXPECT_EQ(itsolv::rows_reached(c.t + 1, 3), c.rows_reached_after) << c.t;
  }
}

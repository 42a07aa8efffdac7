// The loader places every value of a file where the literal reading puts
// it, whatever the chunking, team size and storage, and refuses files that
// are not whole problems with one line that says what and where.
#include "load/loader.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "base/failure.hpp"
#include "load/load_steps.hpp"
#include "load/text_run.hpp"
#include "load/value_placement.hpp"
#include "support/isas.hpp"
#include "support/load_values.hpp"
#include "support/problem_access.hpp"
#include "support/problem_texts.hpp"
#include "support/team.hpp"
#include "support/temp_files.hpp"

using itsolv::Isa;
using testing_support::Kind;
using testing_support::team;
using testing_support::TempFile;
using testing_support::Values;

namespace {

struct Setting {
  int threads;
  size_t part_bytes;  // tiny parts move chunk and part boundaries everywhere
  size_t compact_chunks = 16;
  int32_t move_columns = 2048;  // a few: a row's columns move in several blocks
};

// Loads text; returns the failure's message, or "" on success.
std::string load(const std::string& text, itsolv::Problem& p, Setting s = {1, size_t{4} << 20},
                 Isa isa = itsolv::best_isa()) {
  TempFile file(text);
  itsolv::LoadOptions options;
  options.isa = isa;
  options.part_bytes = s.part_bytes;
  options.team_bytes = s.part_bytes < 64 ? 0 : s.part_bytes;
  options.compact_chunks = s.compact_chunks;
  options.move_columns = s.move_columns;
  return load_message(p, file.path(), s.threads, options);
}

const Setting kSettings[] = {{1, size_t{4} << 20, 16, 7}, {2, 16}, {3, 48}, {2, 1000, 16, 3}, {3, 4096, 16, 5}};

// The narrowest storage that holds every off-diagonal value.
itsolv::Storage narrowest(const Values& v) {
  itsolv::Storage want = itsolv::Storage::i8;
  for (int32_t i = 0; i < v.num; ++i)
    for (int32_t j = 0; j < v.num; ++j)
      if (i != j) want = std::max(want, itsolv::storage_for(v.a[static_cast<size_t>(i) * v.num + j]));
  return want;
}

// Loads `text` (v's own when empty) in each setting on each instruction set:
// the problem holds v exactly, in the narrowest storage that holds it.
void expect_loads(const Values& v, std::vector<Setting> settings = {std::begin(kSettings), std::end(kSettings)},
                  std::string text = {}) {
  if (text.empty()) text = testing_support::problem_text(v);
  for (const Setting& s : settings)
    for (Isa isa : testing_support::supported_isas()) {
      SCOPED_TRACE(testing::Message() << s.threads << " threads, parts of " << s.part_bytes << ", "
                                      << itsolv::isa_name(isa));
      itsolv::Problem p;
      ASSERT_EQ(load(text, p, s, isa), "");
      EXPECT_TRUE(holds(p, v));
      EXPECT_EQ(p.a.storage(), narrowest(v));
    }
}

}  // namespace

TEST(LoaderPlacesValues, InEverySettingAndStorage) {
  for (Kind kind : {Kind::small_integers, Kind::wide_integers, Kind::decimals, Kind::specials})
    for (int32_t n : {1, 2, 15, 16, 17, 63, 64, 65, 100, 130}) {
      SCOPED_TRACE(n);
      std::vector<Setting> settings(std::begin(kSettings), std::end(kSettings));
      // Thousands of chunks are slow, and show nothing new.
      if (n > 65) std::erase_if(settings, [](const Setting& s) { return s.part_bytes < 64; });
      expect_loads(testing_support::random_values(n, kind, 1000 + n), settings);
    }
}

// Megabytes at a time are read by the team, each member a slice; a file
// whose size is not a whole number of slices ends in a short one.
TEST(LoaderPlacesValues, LargeReadsSharedByTheTeam) {
  for (Kind kind : {Kind::small_integers, Kind::decimals})
    expect_loads(testing_support::random_values(kind == Kind::decimals ? 500 : 700, kind, 21),
                 {{2, size_t{3} << 20}, {3, size_t{3} << 20}});
}

// A late wide value widens what came before: a fraction or a value beyond
// 8 bits in the last row; and in row 64, which starts the second panel of
// 64 rows, whose first values are placed compactly in one chunk while a
// later chunk, which ends inside the row, holds the wide value.
TEST(LoaderPlacesValues, ALateWideValueWidensWhatCameBefore) {
  Values v = testing_support::random_values(150, Kind::small_integers, 7);
  v.at(149, 3) = 1000.0f;
  v.at(120, 7) = 0.5f;
  expect_loads(v);
  for (const float wide : {1000.0f, 0.5f})
    for (int32_t column : {40, 69}) {
      SCOPED_TRACE(testing::Message() << wide << " at column " << column);
      Values panel = testing_support::random_values(70, Kind::small_integers, 64);
      panel.at(64, column) = wide;
      expect_loads(panel, {{1, 24, 1}, {2, 24, 1}, {1, 64, 1}, {2, 64, 1}});
    }
}

// The limits of 8- and 16-bit storage, one step inside and one outside, as
// a coefficient (which decides the storage) and on the diagonal (which is
// kept apart and decides nothing): each keeps its exact value.
TEST(LoaderPlacesValues, StorageLimitsKeepTheirExactValues) {
  using itsolv::Storage;
  const std::pair<float, Storage> limits[] = {{127, Storage::i8},     {128, Storage::i16},   {-128, Storage::i8},
                                              {-129, Storage::i16},   {32767, Storage::i16}, {32768, Storage::f32},
                                              {-32768, Storage::i16}, {-32769, Storage::f32}};
  for (const auto& [limit, storage] : limits)
    for (const bool on_diagonal : {false, true}) {
      SCOPED_TRACE(testing::Message() << limit << (on_diagonal ? " on the diagonal" : ""));
      Values v = testing_support::random_values(3, Kind::weak, 3);
      v.at(1, on_diagonal ? 1 : 2) = limit;
      EXPECT_EQ(narrowest(v), on_diagonal ? Storage::i8 : storage);
      expect_loads(v);
    }
}

TEST(LoaderPlacesValues, AnyWhiteSpaceAndTokenForm) {
  const Values v = testing_support::random_values(40, Kind::decimals, 9);
  for (const char* sep : {" ", "\t", "  \v ", "\f"})
    for (const char* end : {"\n", "\r\n", "\n\n\t", " "})
      expect_loads(v, {{2, 32}}, testing_support::problem_text(v, sep, end));
  itsolv::Problem p;
  ASSERT_EQ(load("2 1e-3\n+0 -0\n200 2e2 0x1p3\n200.0 +37 .5e1\n", p), "");
  EXPECT_EQ(testing_support::coefficient(p, 0, 0), 200.0f);
  EXPECT_EQ(testing_support::coefficient(p, 0, 1), 200.0f);
  EXPECT_EQ(p.b[0], 8.0f);
  EXPECT_EQ(testing_support::coefficient(p, 1, 0), 200.0f);
  EXPECT_EQ(p.b[1], 5.0f);
  EXPECT_TRUE(std::signbit(p.x[1]));
}

// Runs of text cut anywhere at token boundaries, each placed knowing only
// its first token's index, with late values that widen what earlier runs
// placed: the same problem as the loader's.
TEST(TextRunPlacesValues, RunsCutAnywhereInAnyTeam) {
  Values v = testing_support::random_values(70, Kind::small_integers, 21);
  v.at(69, 3) = 1000.0f;
  v.at(30, 7) = 0.5f;
  std::string text = testing_support::problem_text(v, "\t", " \n");
  std::vector<size_t> starts;  // of the tokens
  for (size_t at = 0; at < text.size(); ++at)
    if (!std::isspace(static_cast<unsigned char>(text[at])) &&
        (at == 0 || std::isspace(static_cast<unsigned char>(text[at - 1]))))
      starts.push_back(at);
  text += std::string(64, ' ');  // the blanks a reader leaves after its bytes
  const int64_t total = static_cast<int64_t>(starts.size());
  for (int threads : {1, 3}) {
    // Cuts before the starting values, mid-row, before the wide values.
    const int64_t cuts[] = {2, 40, 2 + 70 + 30 * 71 + 2, 2 + 70 + 69 * 71, total};
    itsolv::Problem p;
    p.num = v.num;
    p.err = v.err;
    itsolv::allocate(p, {});
    for (size_t k = 0; k < 4; ++k) {
      const char* const begin = text.data() + starts[static_cast<size_t>(cuts[k])];
      const char* const end = cuts[k + 1] == total ? text.data() + text.size() - 64
                                                   : text.data() + starts[static_cast<size_t>(cuts[k + 1])];
      itsolv::TextRun run(begin, end, team(threads), 20);
      ASSERT_EQ(run.tokens(), cuts[k + 1] - cuts[k]);
      EXPECT_EQ(run.place(p, cuts[k], total).bad, -1);
    }
    EXPECT_EQ(p.a.storage(), itsolv::Storage::f32);
    EXPECT_TRUE(holds(p, v));
    // A token that is not a number: the first of the run is named.
    std::string spoiled = text;
    spoiled[starts[500]] = spoiled[starts[900]] = 'x';
    itsolv::TextRun run(spoiled.data() + starts[400], spoiled.data() + starts[1000], team(threads), 20);
    EXPECT_EQ(run.place(p, 400, total).bad, 500);
  }
}

// Rows of tokens near the short shapes (one or two digits, a minus sign or
// not), in runs that cross the 64-byte blocks of the vector readers at every
// offset: each instruction set, storage and team loads the values of the
// literal reading, or refuses with the message that the scalar reader gives.
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
                                : pick(8) == 0                   ? others[pick(std::size(others))]
                                                                 : shorts[pick(std::size(shorts))];
      text += form + separators[pick(round % 2 ? 5 : 2)];
    }
    // The message without the temporary file's name.
    auto unnamed = [](std::string message) {
      const size_t at = message.find("/tmp/");
      return at == std::string::npos ? message : message.erase(at, message.find(':', at) - at);
    };
    itsolv::Problem want;
    const std::string refusal = unnamed(load(text, want, {1, size_t{4} << 20}, Isa::plain));
    Values values;
    ASSERT_EQ(literal::read_problem(text, values), refusal.empty()) << refusal;
    for (const Setting& s : kSettings)
      for (Isa isa : testing_support::supported_isas()) {
        itsolv::Problem p;
        ASSERT_EQ(unnamed(load(text, p, s, isa)), refusal) << itsolv::isa_name(isa) << " " << text;
        if (!refusal.empty()) continue;
        ASSERT_EQ(p.a.storage(), want.a.storage());
        ASSERT_TRUE(holds(p, values)) << text;
      }
  }
}

TEST(LoaderRefuses, ShortFilesInEverySetting) {
  const Values v = testing_support::random_values(30, Kind::small_integers, 11);
  const std::string text = testing_support::problem_text(v);
  // Cut the text between two tokens of the last row, padded with blanks
  // that pass the size check, to reach the reading itself.
  const std::string cut = text.substr(0, text.rfind(' ', text.size() - 40)) + std::string(200, ' ');
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

// Refusal: files that cannot be opened, counts that cannot be allocated, and
// short or malformed files, each refused with one line and status 1.
#include <sys/stat.h>
#include <unistd.h>

#include "cli/cli_support.hpp"

namespace cli {
namespace {

using Refusal = CliTest;

// Missing files, directories and (unless root) a file nobody may read; the
// path is printed as it is, never used as a format.
TEST_F(Refusal, MissingUnreadableFileOrDirectoryCannotBeOpened) {
  std::vector<std::string> paths{
      dir() + "/missing.txt", "no/such/dir/p.txt", dir() + "/%s%n%d %x\\n", dir(), dir() + "/", "."};
  if (::geteuid() != 0) {  // for root, permissions do not stop reading
    paths.push_back(write("locked.txt", "1 0.001 0 4 2\n"));
    ASSERT_EQ(::chmod(paths.back().c_str(), 0), 0);
  }
  for (const std::string& path : paths) EXPECT_TRUE(printed(solve(path), "Cannot open file " + path + "\n", 1)) << path;
}

TEST_F(Refusal, ShortOrMalformedFileIsRefusedWithOneLine) {
  const std::string head = "2\n0.001\n0 0\n";
  struct Malformed {
    std::string name, text, mention;  // mention: must appear in the reason, when not empty
  };
  std::vector<Malformed> cases = {
      {"count only", "2", ""},
      {"count and line break only", "2\n", ""},
      {"no starting values", "2\n0.001\n", ""},
      {"one starting value", "2\n0.001\n0", ""},
      {"no rows", head, ""},
      {"ends inside row 0", head + "200 37", ""},
      {"ends before last right-hand side", head + "200 37 3\n64 200\n", ""},
      {"count +", "+ 1\n", "line 1"},
      {"count -", "- 1\n", "line 1"},
      {"count 2.0", "2.0 0.001 0 0 200 37 3 64 200 5", "line 1"},
      {"count inf", "inf 0.001", "line 1"},
      {"count with NUL", std::string("2\0 0.001 0 0 200 37 3 64 200 5", 30), "line 1"},
      {"count on line 3", "\n\n2x 0.001", "line 3"},
      {"tolerance abc", "2\nabc\n", "line 2"},
      {"tolerance 1.5.2", "2\n1.5.2\n0 0\n200 37 3\n64 200 5\n", "line 2"},
      {"tolerance 1,5", "2\n1,5\n0 0\n200 37 3\n64 200 5\n", "line 2"},
      {"starting value 37x", "2\n0.001\n0 37x\n200 37 3\n64 200 5\n", "line 3"},
      {"starting value nan(", "2\n0.001\nnan( 0\n200 37 3\n64 200 5\n", "line 3"},
      {"starting value nan(123)", "2\n0.001\nnan(123) 0\n200 37 3\n64 200 5\n", "line 3"},
      {"tolerance nan()", "2\nnan()\n0 0\n200 37 3\n64 200 5\n", "line 2"},
      {"right-hand side NaN(abc)", head + "200 37 3\n64 200 NaN(abc)\n", "line 5"},
      {"coefficient abc", head + "200 37 3\n64 abc 5\n", "line 5"},
      {"coefficient 1.5.2", head + "1.5.2 37 3\n64 200 5\n", "line 4"},
      {"coefficient with NUL", head + std::string("200 3\0007 3\n64 200 5\n", 20), "line 4"},
      {"lone NUL", head + std::string("200 37 3\n64 \0 200 5\n", 20), "line 5"},
      {"byte 0xff", head + "200 37 3\n64 200 \xff\n", "line 5"},
      {"no-break space joins two tokens",
       head + "200\xa0"
              "37 3\n64 200 5\n",
       "line 4"},
      {"UTF-8 digit", head + "200 37 3\n64 200 \xd9\xa5\n", "line 5"},
      {"right-hand side 5x", head + "200 37 3\n64 200 5x\n", "line 5"},
      {"CR LF lines", "2\r\n0.001\r\n0 0\r\n200 37 3\r\n64 abc 5\r\n", "line 5"},
      {"CR only is no line break", "2\r0.001\r0 0\r200 37 3\r64 abc 5\r", "line 1"},
      {"blank lines before", "\n\n\n2\n0.001\n0 0\n200 37 3\n64 200 5a\n", "line 8"},
      {"a long bad token", head + "200 37 3\n64 200 " + std::string(100000, '5') + "x\n", "line 5"},
      // The reason names the value and shows the token.
      {"coefficient named", "2 0.1\n0 0\n1 37x 3\n4 5 6\n",
       "expected a number for the coefficient a[0][1] at line 3, found \"37x\""},
      {"second row's coefficient named", "2 0.1\n0 0\n1 3 3\n4 1.5.2 6\n", "the coefficient a[1][1] at line 4"},
      {"starting value named", "2 0.1\n0 abc\n1 3 3\n4 5 6\n", "the starting value x[1] at line 2"},
      {"byte shown in hex", "2 0.1\n0 0\n1 3 3\n4 5 \xff\n", "the right-hand side b[1] at line 4, found \"\\xff\""},
      {"NUL shown in hex", std::string("2 0.1\n0 0\n1 3 3\n4 5 6\0\n", 22),
       "the right-hand side b[1] at line 4, found \"6\\x00\""},
      {"tolerance named", "2 tol\n0 0\n1 3 3\n4 5 6\n", "expected a number for the tolerance at line 1"},
      {"count named", "2.5 1 0 0 1 2 3 4 5 6", "the number of variables"},
      {"count ends the file", "3", "the file ends at line 1 before the tolerance"},
  };
  // Counts that are no whole int, and tokens that only begin like a number
  // as a[0][1].
  for (const char* count : {"2.5", "1e3", "99999999999", "2147483648", "-2147483649", "0x10", "abc"})
    cases.push_back({count, count + std::string("\n0.001\n"), "line 1"});
  for (const char* token : {"--1", "+-1", "0x", "0x.p", ".", "e5", "infx", "1..2"})
    cases.push_back({token, head + "200 " + token + " 3\n64 200 5\n", "line 4"});
  for (const Malformed& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_TRUE(read_refusal(solve_text(c.text, "bad.txt"), dir() + "/bad.txt", c.mention));
    EXPECT_EQ(reference(c.text).kind, Reference::kUnreadable);
  }
}

// The last case has every byte its count could need but one token too few.
TEST_F(Refusal, HugeCountInASmallFileIsRefusedAtOnce) {
  for (const std::string text :
       {"2000000000 0.5 1 2 3", "2147483647\n1\n0 0 0 0 0 0 0 0 0 0\n", "100000 0.1 1 2 3", "65536 0.1 1 2 3 4",
        "46341 0.1", "+2000000000 0.1", "3 0.1 0 0 0 1 0 0 1 0 1 0 1 0 0 1"}) {
    SCOPED_TRACE(text);
    const RunResult run = solve_text(text, "huge.txt", within(10));
    EXPECT_TRUE(read_refusal(run, dir() + "/huge.txt"));
    EXPECT_LT(run.seconds, 2.0);
  }
}

// A token that never ends (here /dev/zero's bytes) is refused when memory
// runs out, with one line, never by a signal.
TEST_F(Refusal, EndlessTokenIsRefusedWhenMemoryRunsOut) {
  RunOptions options = within(20);
  options.memory_limit_bytes = size_t{64} << 20;
  EXPECT_TRUE(read_refusal(solve("/dev/zero", options), "/dev/zero"));
}

// A bad token far into a file large enough to be read in several chunks and
// parsed in parts: the line must still be the token's own.
TEST_F(Refusal, BadTokenDeepInALargeFileNamesItsLine) {
  const std::string text =
      ProblemMaker(11).problem({.n = 700, .style = Style::kDecimals, .allow_special = false, .tolerance = "0.001"});
  // Make the layout exact: one header value per line, one row per line.
  std::vector<Token> tokens = literal::token_spans(text);
  std::string clean;
  for (size_t k = 0; k < tokens.size(); ++k) {
    clean += text.substr(tokens[k].begin, tokens[k].end - tokens[k].begin);
    const bool end_of_line = k < 2 || k == 2 + 699 || (k > 2 + 699 && (k - 2 - 700) % 701 == 700);
    clean += end_of_line ? "\n" : " ";
  }
  ASSERT_GT(clean.size(), size_t{2} << 20);
  tokens = literal::token_spans(clean);
  for (const int row : {0, 349, 350, 699}) {
    SCOPED_TRACE(row);
    std::string bad = clean;
    const Token t = tokens[static_cast<size_t>(2 + 700 + row * 701 + 3)];
    bad.replace(t.begin, t.end - t.begin, "4.2.1");
    EXPECT_TRUE(read_refusal(solve_text(bad, "deep.txt"), dir() + "/deep.txt", "line " + std::to_string(4 + row)));
  }
}

}  // namespace
}  // namespace cli

// Refusal: counts that cannot be allocated, and short or malformed files,
// each refused with one line and status 1.
#include "cli/cli_support.hpp"

namespace cli {
namespace {

using Refusal = CliTest;

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
    EXPECT_FALSE(reference(c.text)) << "the reference reads it";
  }
}

// A count far beyond what the file or pipe holds is refused at once and in
// little memory: 50,000 variables would take gigabytes; the few values sent
// take nothing.
TEST_F(Refusal, HugeCountIsRefusedAtOnceInLittleMemory) {
  std::string rows = "50000 0.001\n";  // the starting values and three rows
  for (int k = 0; k < 50000 + 3 * 50001; ++k) rows += k % 50 == 49 ? "1\n" : "1 ";
  const struct {
    std::string text;
    bool piped;
    std::string mention;
  } cases[] = {
      {"2000000000 0.5 1 2 3", false, ""},
      {"2147483647\n1\n0 0 0 0 0 0 0 0 0 0\n", false, ""},
      {"100000 0.1 1 2 3", false, ""},
      {"65536 0.1 1 2 3 4", false, ""},
      {"46341 0.1", false, ""},
      {"+2000000000 0.1", false, ""},
      {"3 0.1 0 0 0 1 0 0 1 0 1 0 1 0 0 1", false, ""},  // every byte its count could need, one token too few
      {"50000 0.001\n1 2 3\n", true, "the file ends at line 2 before the starting value x[3]\n"},
      {rows, true, "before the coefficient a[3][0]"},
      {"20000 0.1 1 2 3\n", true, ""},
      {"2000000000 0.1 1 2 3\n", true, ""},  // too large to allocate: either refusal is fair
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text.substr(0, 40) + (c.piped ? ", piped" : ""));
    RunOptions options = within(10);
    if (c.piped) options.stdin_text = c.text;
    const std::string path = c.piped ? "/dev/stdin" : write("huge.txt", c.text);
    const RunResult run = itsolv({path}, options);
    EXPECT_TRUE(read_refusal(run, path, c.mention) || (c.piped && printed(run, "Cannot allocate a!\n", 1)));
    EXPECT_LT(run.seconds, 2.0);
    EXPECT_LT(run.max_rss_kib, 100 * 1024);
  }
}

// A bad token far into a file large enough to be read in several chunks and
// parsed in parts: the line must still be the token's own.
TEST_F(Refusal, BadTokenDeepInALargeFileNamesItsLine) {
  // One header value per line, one row per line.
  const std::string text = testing_support::problem_text(random_values(700, Kind::decimals, 11));
  ASSERT_GT(text.size(), size_t{2} << 20);
  const std::vector<Token> tokens = literal::token_spans(text);
  for (const int row : {0, 349, 350, 699}) {
    SCOPED_TRACE(row);
    std::string bad = text;
    const Token t = tokens[static_cast<size_t>(2 + 700 + row * 701 + 3)];
    bad.replace(t.begin, t.end - t.begin, "4.2.1");
    EXPECT_TRUE(read_refusal(solve_text(bad, "deep.txt"), dir() + "/deep.txt", "line " + std::to_string(4 + row)));
  }
}

}  // namespace
}  // namespace cli

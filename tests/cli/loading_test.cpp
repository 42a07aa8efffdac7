// Loading: what the loader accepts, and that it reads it as the literal
// reference (the C library's "%f" scan, token by token) does; also from
// standard input redirected from a file or fed through a pipe, where no
// size is known (a count is believed only as far as values arrive). Files
// that change while read are the loader's own tests.
#include <algorithm>
#include <cmath>

#include "cli/cli_support.hpp"

namespace cli {
namespace {

using Loading = CliTest;
using StandardInput = CliTest;

std::string small_integers(int32_t n, uint32_t seed) {
  return problem_text(random_values(n, Kind::small_integers, seed));
}

TEST_F(Loading, EveryWhiteSpaceLayoutLoadsLikeTheGeneratorLayout) {
  const std::string generator_layout = "3\n0.0001\n0 0 0 \n10 2.5 -3 7\n-1 8 2 4\n1.5 -2 12 -6\n";
  const RunResult base = solve_text(generator_layout, "base.txt");
  ASSERT_TRUE(agrees(base, generator_layout, dir() + "/base.txt"));
  ASSERT_EQ(base.status, 0);
  // The same tokens, each followed by the separators in turn.
  const auto join = [&](const std::vector<std::string>& separators) {
    std::string text;
    for (size_t k = 0; const std::string& token : literal::tokens_of(generator_layout))
      text += token + separators[k++ % separators.size()];
    return text;
  };
  const std::pair<std::string, std::string> layouts[] = {
      {"one line", join({" "})},
      {"one line, no final line break", join({" "}).substr(0, join({" "}).size() - 1)},
      {"tabs", join({"\t"})},
      {"blank lines", join({"\n\n\n"})},
      {"CR LF", join({"\r\n"})},
      {"CR only", join({"\r"})},
      {"vertical tabs", join({"\v"})},
      {"form feeds", join({"\f"})},
      {"mixed", join({" \t", "\r\n\r\n", "\v\f", "   ", "\t\t\n"})},
      {"leading white space", "\n\n \t\r\n" + join({" "})},
      {"trailing white space", join({" "}) + "\n\n\t \r\n\v\f"},
  };
  for (const auto& [name, text] : layouts) {
    SCOPED_TRACE(name);
    EXPECT_TRUE(printed(solve_agreeing(text), base.out, 0));
  }
}

// The forms that the scan reads whole and strtof only in part ("2e", "1e+",
// "0x1p", "0x."), in every position, read as the plain spelling of their value.
TEST_F(Loading, TheScansOwnFormsInEveryPosition) {
  const std::vector<std::string> plain = {"2", "0.001", "0", "0", "200", "37", "3", "64", "200", "5"};
  const struct {
    size_t at;
    const char *odd, *value;
  } cases[] = {{1, "1e+", "1"},     {1, "0x1p-", "1"},  {2, "0x.", "0"},     {2, "2e", "2"},
               {3, "-0x1p+", "-1"}, {4, "200e", "200"}, {4, "0xc8p", "200"}, {5, "37E-", "37"},
               {5, "0x1p", "1"},    {6, "3e", "3"},     {9, "0x.", "0"},     {9, "5e-", "5"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.odd);
    std::string text, same;
    for (size_t k = 0; k < plain.size(); ++k) {
      text += (k == c.at ? c.odd : plain[k]) + std::string(" ");
      same += (k == c.at ? c.value : plain[k]) + std::string(" ");
    }
    const RunResult expected = solve_text(same, "same.txt");
    ASSERT_TRUE(expected.exited);
    EXPECT_TRUE(printed(solve_agreeing(text), expected.out, expected.status));
  }
}

// Integer values near the limits of 8- and 16-bit integers, written as
// integers and in other forms, in every row: each must keep its value.
TEST_F(Loading, IntegerValuesAtStorageEdgesKeepTheirValues) {
  const std::vector<std::string> edges = {
      "127",        "-128",        "128",      "-129",      "127.0",  "-128.0",  "128.0", "1.28e2",
      "-0x1p7",     "0x1p7",       "+127",     "-1.29e2",   "32767",  "-32768",  "32768", "-32769",
      "32767.0",    "-32768.0",    "3.2768e4", "-3.2769e4", "0x1p15", "-0x1p15", "65535", "-65536",
      "2147483647", "-2147483648", "16777217", "0.5",       "-0",     "1e-45",   "255",   "-256"};
  ProblemMaker maker(99);
  for (int n = 4; n < 10; ++n) {
    std::string text = std::to_string(n) + " 0\n";
    for (int i = 0; i < n; ++i) text += maker.number(Style::kTinyIntegers) + " ";
    text += "\n";
    for (int i = 0; i < n; ++i) {  // a dominant diagonal D after the edges
      float s = 0.0f;
      std::string row;
      for (int j = 0; j < n; ++j) {
        const std::string token = j == i ? "D" : maker.pick(edges);
        if (j != i) s = s + std::fabs(ProblemMaker::value_of(token));
        row += token + " ";
      }
      row.replace(row.find('D'), 1, printf_string("%.9g", static_cast<double>(s) * 2.5 + 1));
      text += row + std::to_string(maker.uniform(-50, 50)) + "\n";
    }
    SCOPED_TRACE(text);
    EXPECT_EQ(solve_agreeing(text).out.find("converge"), std::string::npos);
  }
}

// Texts grouped by what itsolv prints for each, as the reference does:
// tokens after the last right-hand side are never read, and a count with a
// sign or leading zeros reads as a decimal; long runs of white space and
// long tokens (in the header and after it, each longer than any first read)
// load as the short ones do; no token at all, or a count of 0 whatever
// follows it, is the empty problem; a negative count, whatever follows it,
// cannot be allocated.
TEST_F(Loading, EachTextPrintsWhatItsGroupPrints) {
  const std::string two = "2\n0.001\n0 0\n200 37 3\n64 200 5", tail = " 0.001 0 0 200 37 3 64 200 5";
  // The tolerance is below the least float: 0.
  const std::string long_tokens = std::string(300000, '\n') + std::string(100000, '0') + "2 0." +
                                  std::string(100000, '0') + "1\n0 " + std::string(100000, ' ') + "0\n" + "0x" +
                                  std::string(150000, '0') + "c8p0 37 3\n64 200." + std::string(150000, '0') + " 5\n";
  const struct {
    std::string out;
    int status;
    std::vector<std::string> texts;
  } groups[] = {
      {kTwoByTwoOut,
       0,
       {"+2" + tail, "02" + tail, "0000000002" + tail, "+00002" + tail, two + " 1 2 3",
        two + "\n999999999999999999999999 abc", two + std::string(" \0\xff junk", 9), two + " x",
        two + "\n1.5.2 -- \x80\n", two + "\t0", two + "\n" + std::string(200000, 'z'), two + std::string("\n\0", 2),
        two + "\r\n\r\n\f -", two + " junk \x01 more"}},
      {"0.011028\n0.021471\ntotal number of iterations: 13\n", 0, {long_tokens}},
      {"The matrix will not converge...\n",
       1,
       {"0 0.001", "0 0.001\n", "0\n0.001 junk 1 2 3", "-0 1", "+0 nan", "00 -1", "0 inf abc", "", " \n\t\r\n\v\f  \n",
        "0", "0\n", "0 abc", "0 1.5.2 \xff"}},
      {"Cannot allocate a!\n",
       1,
       {"-1 0.001", "-1 0.001\n0 0 junk abc", "-2147483648 1", "-5\n0.1\n", "-1 nan", "-00003 -inf \xff\xff", "-5",
        "-5 abc", "-5\n\n", "-1 1.5.2 0"}},
  };
  for (const auto& group : groups)
    for (const std::string& text : group.texts)
      EXPECT_TRUE(printed(solve_agreeing(text), group.out, group.status)) << "for\n" << shown(text, 100);
}

// A path relative to the working directory (the test's own is not ours to
// write to: one that walks into our directory), and a file whose reported
// size is 0 although it has content (a /proc file, here the program's own
// environment): its content decides, not its size.
TEST_F(Loading, RelativePathAndFileThatReportsNoSizeAreReadByTheirContent) {
  write("rel.txt", kTwoByTwo);
  EXPECT_TRUE(printed(solve(std::filesystem::relative(dir() + "/rel.txt").string()), kTwoByTwoOut, 0));
  RunOptions options;
  options.environment = {{std::string(kTwoByTwo) + "=", "x=1"}};
  EXPECT_TRUE(printed(solve("/proc/self/environ", options), kTwoByTwoOut, 0));
}

// Small problems, large ones that fill a pipe many times over, a problem
// cut short (refused with one line) and the empty one, each redirected from
// a file and fed through a pipe.
TEST_F(StandardInput, RedirectedFromAFileOrFedThroughAPipeDoesWhatTheReferenceSays) {
  const std::string cut = small_integers(40, 3);
  for (const std::string& text :
       {std::string(kTwoByTwo), small_integers(30, 1), small_integers(150, 2),
        ProblemMaker(7).problem({.n = 250, .style = Style::kDecimals, .allow_special = false, .tolerance = "0.0001"}),
        cut.substr(0, 1), cut.substr(0, cut.size() / 2), std::string()}) {
    RunOptions redirected, piped;
    redirected.stdin_path = write("p.txt", text);
    piped.stdin_text = text;
    for (const RunOptions& options : {redirected, piped})
      EXPECT_TRUE(agrees(itsolv({"/dev/stdin"}, options), text, "/dev/stdin"))
          << (options.stdin_text ? "piped" : "redirected") << ", " << text.size() << " bytes";
  }
}

}  // namespace
}  // namespace cli

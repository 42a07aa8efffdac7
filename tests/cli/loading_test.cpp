// Loading: what the loader accepts, and that it reads it as the literal
// reference (the C library's "%f" scan, token by token) does.
#include <algorithm>
#include <cmath>

#include "cli/cli_support.hpp"

namespace cli {
namespace {

using Loading = CliTest;

// A 3x3 problem in the generator's layout, with the tokens of each layout
// below in the same order.
const std::vector<std::string> kTokens = {"3",  "0.0001", "0", "0", "0",   "10", "2.5", "-3", "7",
                                          "-1", "8",      "2", "4", "1.5", "-2", "12",  "-6"};

std::string join(const std::vector<std::string>& separators) {
  std::string text;
  for (size_t k = 0; k < kTokens.size(); ++k) text += kTokens[k] + separators[k % separators.size()];
  return text;
}

TEST_F(Loading, EveryWhiteSpaceLayoutLoadsLikeTheGeneratorLayout) {
  const std::string generator_layout = "3\n0.0001\n0 0 0 \n10 2.5 -3 7\n-1 8 2 4\n1.5 -2 12 -6\n";
  const RunResult base = solve_text(generator_layout, "base.txt");
  ASSERT_TRUE(agrees(base, generator_layout, dir() + "/base.txt"));
  ASSERT_EQ(base.status, 0);
  const std::vector<std::pair<std::string, std::string>> layouts = {
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
  for (int round = 0; round < 6; ++round) {
    const int n = 4 + round;
    std::string text = std::to_string(n) + " 0\n";
    for (int i = 0; i < n; ++i) text += maker.number(Style::kTinyIntegers) + " ";
    text += "\n";
    for (int i = 0; i < n; ++i) {
      float s = 0.0f;
      std::string row;
      for (int j = 0; j < n; ++j) {
        if (j == i) {
          row += "D ";
          continue;
        }
        const std::string token = maker.pick(edges);
        s = s + std::fabs(ProblemMaker::value_of(token));
        row += token + " ";
      }
      row.replace(row.find('D'), 1, printf_string("%.9g", static_cast<double>(s) * 2.5 + 1));
      text += row + std::to_string(maker.uniform(-50, 50)) + "\n";
    }
    SCOPED_TRACE(text);
    const RunResult run = solve_agreeing(text);
    EXPECT_EQ(run.out.find("converge"), std::string::npos) << run.out;
  }
}

// Tokens after the last right-hand side are never read; a count with a sign
// or leading zeros reads as a decimal.
TEST_F(Loading, TokensAfterTheLastRightHandSideAreNeverReadAndCountsAreDecimal) {
  for (const std::string count : {"+2", "02", "0000000002", "+00002"}) {
    SCOPED_TRACE(count);
    EXPECT_TRUE(printed(solve_text(count + " 0.001 0 0 200 37 3 64 200 5"), kTwoByTwoOut, 0));
  }
  for (const std::string& extra : std::vector<std::string>{
           " 1 2 3", "\n999999999999999999999999 abc", std::string(" \0\xff junk", 9), " x", "\n1.5.2 -- \x80\n", "\t0",
           "\n" + std::string(200000, 'z'), std::string("\n\0", 2), "\r\n\r\n\f -", " junk \x01 more"}) {
    SCOPED_TRACE(shown(extra));
    const std::string text = std::string("2\n0.001\n0 0\n200 37 3\n64 200 5") + extra;
    EXPECT_TRUE(printed(solve_text(text), kTwoByTwoOut, 0));
  }
}

// The empty problem: no token at all, or a count of 0 whatever follows it.
TEST_F(Loading, EmptyProblemLoadsAndFailsThePreCheck) {
  for (const std::string text : {"0 0.001", "0 0.001\n", "0\n0.001 junk 1 2 3", "-0 1", "+0 nan", "00 -1", "0 inf abc",
                                 "", " \n\t\r\n\v\f  \n", "0", "0\n", "0 abc", "0 1.5.2 \xff"}) {
    SCOPED_TRACE(text);
    EXPECT_TRUE(printed(solve_text(text), "The matrix will not converge...\n", 1));
  }
}

TEST_F(Loading, WhiteSpaceAndLongTokensAcrossReadBuffers) {
  // Long runs of white space and long tokens, in the header and after it,
  // each longer than any first read.
  const std::string text = std::string(300000, '\n') + std::string(100000, '0') + "2 0." + std::string(100000, '0') +
                           "1\n0 " + std::string(100000, ' ') + "0\n" + "0x" + std::string(150000, '0') +
                           "c8p0 37 3\n64 200." + std::string(150000, '0') + " 5\n";
  const RunResult run = solve_agreeing(text);
  EXPECT_EQ(run.status, 0) << run;
  EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), 3) << run.out;
}

// A file whose reported size is 0 although it has content (a /proc file):
// its content decides, not its size. Here the program's own environment.
TEST_F(Loading, FileThatReportsNoSizeIsReadByItsContent) {
  RunOptions options;
  options.environment = {{std::string(kTwoByTwo) + "=", "x=1"}};
  const RunResult run = solve("/proc/self/environ", options);
  EXPECT_TRUE(printed(run, kTwoByTwoOut, 0));
}

TEST_F(Loading, RelativePathIsOpenedFromTheWorkingDirectory) {
  // The test's working directory is not ours to write to; a path relative to
  // it that walks into our directory does the same job.
  write("rel.txt", kTwoByTwo);
  const std::string cwd = std::filesystem::current_path().string();
  std::string relative = std::filesystem::relative(dir() + "/rel.txt", cwd).string();
  EXPECT_TRUE(printed(solve(relative), kTwoByTwoOut, 0));
}

}  // namespace
}  // namespace cli

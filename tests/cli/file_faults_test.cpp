// itsolv reading problems that are not plain files at rest: standard input
// redirected from a file or fed through a pipe (no size is known there, so a
// count is believed only as far as values arrive). Every run ends with the
// right report or one "Cannot read file" line, never a signal, a hang or a
// large allocation. Files that change while read are the loader's own tests.
#include "cli/cli_support.hpp"

namespace cli {
namespace {

using StandardInput = CliTest;

std::string problem_text(int32_t n, uint32_t seed) {
  return testing_support::problem_text(random_values(n, Kind::small_integers, seed));
}

// Small problems, and large ones that fill a pipe many times over.
TEST_F(StandardInput, RedirectedFromAFileOrFedThroughAPipePrintsWhatTheReferencePrints) {
  for (const std::string& text :
       {std::string(kTwoByTwo), problem_text(30, 1), problem_text(150, 2),
        ProblemMaker(7).problem(
            {.n = 250, .style = Style::kDecimals, .allow_special = false, .tolerance = "0.0001"})}) {
    const Reference ref = reference(text);
    ASSERT_EQ(ref.kind, Reference::kOutcome);
    RunOptions redirected, piped;
    redirected.stdin_path = write("p.txt", text);
    piped.stdin_text = text;
    for (const RunOptions& options : {redirected, piped})
      EXPECT_TRUE(printed(itsolv({"/dev/stdin"}, options), ref.outcome.out, ref.outcome.status))
          << (options.stdin_text ? "piped" : "redirected") << ", " << text.size() << " bytes";
  }
}

// Cut short, it is refused; empty, it is the empty problem.
TEST_F(StandardInput, PipeThatEndsEarlyIsRefusedWithOneLine) {
  const std::string text = problem_text(40, 3);
  RunOptions options;
  for (const std::string& part : {text.substr(0, 1), text.substr(0, text.size() / 2)}) {
    options.stdin_text = part;
    EXPECT_TRUE(read_refusal(itsolv({"/dev/stdin"}, options), "/dev/stdin")) << part.size() << " bytes";
  }
  options.stdin_text = "";
  EXPECT_TRUE(printed(itsolv({"/dev/stdin"}, options), "The matrix will not converge...\n", 1));
}

// 50,000 variables would take gigabytes; the few values sent take nothing,
// and that is all the run may hold before it refuses the file, quickly.
TEST_F(StandardInput, HugeCountThroughAPipeIsRefusedInLittleMemory) {
  std::string rows = "50000 0.001\n";  // the starting values and three rows
  for (int k = 0; k < 50000 + 3 * 50001; ++k) rows += k % 50 == 49 ? "1\n" : "1 ";
  const std::pair<std::string, std::string> cases[] = {
      // text, and what the reason must mention
      {"50000 0.001\n1 2 3\n", "the file ends at line 2 before the starting value x[3]\n"},
      {rows, "before the coefficient a[3][0]"},
      {"20000 0.1 1 2 3\n", ""},
      {"2000000000 0.1 1 2 3\n", ""},  // too large to allocate: either refusal is fair
  };
  RunOptions options = within(10);
  for (const auto& [text, mention] : cases) {
    SCOPED_TRACE(text.substr(0, 30));
    options.stdin_text = text;
    const RunResult run = itsolv({"/dev/stdin"}, options);
    EXPECT_TRUE(read_refusal(run, "/dev/stdin", mention) ||
                (mention.empty() && printed(run, "Cannot allocate a!\n", 1)));
    EXPECT_LT(run.max_rss_kib, 100 * 1024);
  }
}

}  // namespace
}  // namespace cli

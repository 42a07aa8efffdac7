// RandomProblems: the built program prints, byte for byte, what the literal
// reference prints for many random well-formed problems. Mutations:
// corrupted problem files never crash or hang the program; what it prints
// is the reference's outcome, or a "Cannot read file" line when the file is
// not a complete problem.
#include "cli/cli_support.hpp"

namespace cli {
namespace {

using Mutations = CliTest;

TEST_F(Mutations, CorruptedFilesEndCleanlyAndAgreeWithTheReference) {
  ProblemMaker maker(0xc0ffee);
  Mutator mutator(0xbadf11e);
  std::vector<std::string> texts;
  for (int k = 0; k < 320; ++k)
    texts.push_back(mutator.corrupt(maker.problem({.n = maker.uniform(1, 5), .style = maker.random_style()})));
  Tally tally;
  for (const RunResult& run : solve_all(texts, 10))
    ++tally[run.exited && run.status == 0             ? "solved"
            : run.out.starts_with("Cannot read file") ? "cannot read"
                                                      : "other"];
  expect_reached(tally, {{"solved", 20}, {"cannot read", 100}, {"other", 20}});
}

class RandomProblems : public CliTest {
 protected:
  // Makes `count` random problems of min_n .. max_n variables, runs them all
  // and compares each with the reference; how many ended each way.
  Tally run_many(uint64_t seed, int count, int min_n, int max_n, double timeout) const {
    ProblemMaker maker(seed);
    std::vector<std::string> texts;
    for (int k = 0; k < count; ++k) {
      // Mostly small sizes, where the forms of the numbers matter most.
      const int n = maker.chance(0.6) ? maker.uniform(min_n, std::min(max_n, min_n + 9)) : maker.uniform(min_n, max_n);
      texts.push_back(maker.problem({.n = n,
                                     .style = maker.random_style(),
                                     .allow_weak = n <= 12,
                                     .zero_share = maker.pick<double>({0.0, 0.1, 0.3, 0.7})}));
    }
    Tally tally;
    for (const RunResult& run : solve_all(texts, timeout))
      ++tally[run.out.starts_with("The matrix will not converge.\n")   ? "row fails pre-check"
              : run.out.starts_with("The matrix will not converge...") ? "no strict row"
              : run.out.starts_with("The iteration will not converge") ? "endless sweeps"
              : run.exited && run.status == 0                          ? "solved"
                                                                       : "other"];
    return tally;
  }
};

// Small and medium problems, many; a few large ones.
TEST_F(RandomProblems, SmallMediumAndLargeProblemsAgreeWithTheReference) {
  expect_reached(run_many(0x5eed0001, 250, 1, 70, 10),
                 {{"solved", 120}, {"row fails pre-check", 15}, {"endless sweeps", 10}});
  expect_reached(run_many(0x5eed0002, 8, 100, 300, 20), {{"solved", 4}});
}

// Large enough that the loader parses in parts and the sweeps are shared by
// a team of threads, one CPU or two must print the same as the reference:
// junk after the last right-hand side, in the same chunk, is never read;
// in a file larger than the loader's chunks (4 MiB per thread) whose small
// integer coefficients are widened in the last chunk, what earlier chunks
// stored must keep its values.
TEST_F(RandomProblems, LargeFilesReadInPartsAndSweptByATeamAgreeWithTheReference) {
  ProblemMaker maker(0x5eed0003);
  std::vector<std::string> texts;
  for (const Style style : {Style::kLateWide, Style::kMixed})
    texts.push_back(maker.problem({.n = maker.uniform(520, 640),
                                   .style = style,
                                   .allow_special = false,
                                   .allow_weak = false,
                                   .zero_share = 0.1,
                                   .tolerance = maker.pick<std::string>({"0", "1e-6", "-1"})}) +
                    "\n1.5.2 abc \xff\n");
  texts.emplace_back();
  for (const char c : ProblemMaker(0x5eed0004)
                          .problem({.n = 1200,
  .style = Style::kLateWide,
  .allow_special = false,
  .allow_weak = false,
  .zero_share = 0.0,
  .tolerance = "0.001"}))
    texts.back() += c == ' ' ? std::string(6, ' ') : std::string(1, c);
  ASSERT_GT(texts.back().size(), size_t{9} << 20);  // more than one chunk, even for two threads
  for (const std::string& text : texts) {
    SCOPED_TRACE(std::to_string(text.size()) + " bytes");
    const std::string path = write("team.txt", text);
    const auto ref = reference(text);
    ASSERT_TRUE(ref);
    RunOptions options;
    for (options.cpus = 1; options.cpus <= 2; ++options.cpus)
      EXPECT_TRUE(printed(solve(path, options), ref->out, ref->status)) << options.cpus << " CPUs";
  }
}

}  // namespace
}  // namespace cli

// Mutations: corrupted problem files never crash or hang the program; what
// it prints is the reference's outcome, or a "Cannot read file" line when
// the file is not a complete problem.
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
    ++tally[run.exited && run.status == 0               ? "solved"
            : run.out.rfind("Cannot read file", 0) == 0 ? "cannot read"
                                                        : "other failure"];
  std::printf("[          ] outcomes: %s\n", text_of(tally).c_str());
  EXPECT_GE(tally["solved"], 20) << text_of(tally);
  EXPECT_GE(tally["cannot read"], 100) << text_of(tally);
  EXPECT_GE(tally["other failure"], 20) << text_of(tally);
}

}  // namespace
}  // namespace cli

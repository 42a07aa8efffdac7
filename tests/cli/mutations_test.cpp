// Mutations: corrupted problem files never crash or hang the program; what
// it prints is the reference's outcome, or a "Cannot read file" line when
// the file is not a complete problem.
#include <map>

#include "cli/cli_support.hpp"

namespace cli {
namespace {

using Mutations = CliTest;

TEST_F(Mutations, CorruptedFilesEndCleanlyAndAgreeWithTheReference) {
  constexpr int kCases = 320;
  ProblemMaker maker(0xc0ffee);
  Mutator mutator(0xbadf11e);
  std::vector<std::string> texts, paths;
  std::vector<std::function<RunResult()>> jobs;
  for (int k = 0; k < kCases; ++k) {
    texts.push_back(mutator.corrupt(maker.problem({.n = maker.uniform(1, 5), .style = maker.random_style()})));
    paths.push_back(write(numbered("m", k), texts.back()));
    jobs.push_back([path = paths.back()] {
      RunOptions options;
      options.timeout_seconds = 10;
      return run_program(kItsolv, {path}, options);
    });
  }
  const std::vector<RunResult> runs = run_all(jobs);
  std::map<std::string, int> tally;
  for (int k = 0; k < kCases; ++k) {
    const RunResult& run = runs[static_cast<size_t>(k)];
    const std::string& text = texts[static_cast<size_t>(k)];
    EXPECT_TRUE(run.exited && (run.status == 0 || run.status == 1)) << "case " << k << ": " << run.how() << " for\n"
                                                                    << shown(text);
    if (!run.exited) continue;
    EXPECT_TRUE(agrees(run, text, paths[static_cast<size_t>(k)])) << "case " << k;
    ++tally[run.status == 0 ? "solved" : run.out.rfind("Cannot read file", 0) == 0 ? "cannot read" : "other failure"];
  }
  std::string summary;
  for (const auto& [kind, count] : tally) summary += kind + ": " + std::to_string(count) + "; ";
  std::printf("[          ] outcomes: %s\n", summary.c_str());
  EXPECT_GE(tally["solved"], 20) << summary;
  EXPECT_GE(tally["cannot read"], 100) << summary;
  EXPECT_GE(tally["other failure"], 20) << summary;
}

}  // namespace
}  // namespace cli

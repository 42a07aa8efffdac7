// EndlessSweeps: an estimate that repeats an earlier one bit for bit ends
// the run with a message naming both sweeps, instead of sweeping forever.
#include "cli/cli_support.hpp"

namespace cli {
namespace {

using EndlessSweeps = CliTest;

RunOptions limited() {
  RunOptions o;
  o.timeout_seconds = 10;
  return o;
}

const std::string kOscillating = "1 -1 0\n1 -1 0 0\n-1 1 0 0\n0 0 2 2\n";  // starting values, then rows

// Sweep 1 changes by 2 at most, every later sweep by exactly 2: any
// tolerance below 2 never stops it, and sweep 4 repeats sweep 2; 2 or more,
// or NaN, stops it after one sweep.
TEST_F(EndlessSweeps, OscillatingSystemRepeatsSweepTwoAtSweepFourUnlessTheToleranceStopsIt) {
  const std::string repeats = "The iteration will not converge: sweep 4 repeats sweep 2.\n";
  for (const std::string tol : {"0", "0.001", "1", "1.999", "-1", "-inf", "-0", "1e-30", "2", "3", "inf", "nan"}) {
    SCOPED_TRACE(tol);
    const bool stops = tol == "2" || tol == "3" || tol == "inf" || tol == "nan";
    const std::string text = "3\n" + tol + "\n" + kOscillating;
    const RunResult run = solve_agreeing(text, limited());
    EXPECT_TRUE(stops ? printed(run, "-1.000000\n1.000000\n1.000000\ntotal number of iterations: 1\n", 0)
                      : printed(run, repeats, 1));
  }
}

TEST_F(EndlessSweeps, NegativeToleranceEndsOnceTheEstimateStopsChanging) {
  // 4x = 2: sweep 2 equals sweep 1.
  EXPECT_TRUE(printed(solve_text("1 -1 0 4 2", "p.txt", limited()),
                      "The iteration will not converge: sweep 2 repeats sweep 1.\n", 1));
  // b[0] = 0 from zero: the first change, 0/0, still stops it.
  EXPECT_TRUE(printed(solve_text("2 -1 0 0 200 37 0 64 200 5", "p.txt", limited()),
                      "0.000000\n0.025000\ntotal number of iterations: 1\n", 0));
  for (const std::string text : {"2 -1 0 0 200 37 3 64 200 5", "2 -0.001 0 0 200 37 3 64 200 5",
                                 "2 -inf 1 1 200 37 3 64 200 5", "1 -1e-30 0.5 4 2"}) {
    SCOPED_TRACE(text);
    const RunResult run = solve_agreeing(text, limited());
    ASSERT_TRUE(run.exited) << run.how();
    EXPECT_EQ(run.out.rfind("The iteration will not converge: sweep ", 0), 0u) << run.out;
  }
}

TEST_F(EndlessSweeps, LargerSystemsWithNegativeToleranceEndAndAgree) {
  ProblemMaker maker(2024);
  for (int k = 0; k < 12; ++k) {
    const std::string text = maker.problem({.n = maker.uniform(2, 90),
                                            .style = maker.random_style(),
                                            .allow_special = false,
                                            .allow_weak = false,
                                            .tolerance = maker.pick<std::string>({"-1", "-0.5", "-1e-20", "-inf"})});
    SCOPED_TRACE(k);
    ASSERT_TRUE(solve_agreeing(text, limited()).exited);
  }
}

}  // namespace
}  // namespace cli

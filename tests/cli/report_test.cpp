// Report: the pre-check's verdicts and the printed solution and sweep count,
// for small worked problems and the edge cases of tolerance, dominance and
// special values; an estimate that repeats an earlier one bit for bit ends
// the run with a message naming both sweeps instead of sweeping forever.
#include "cli/cli_support.hpp"

namespace cli {
namespace {

using Report = CliTest;
using EndlessSweeps = CliTest;

// Each problem prints exactly this, as the literal reference does.
TEST_F(Report, EachProblemPrintsItsReportExactly) {
  const std::string two_by_two = " 0 0 200 37 3 64 200 5", once = "0.015000\n0.025000\ntotal number of iterations: 1\n";
  const std::string fails = "The matrix will not converge.\naii = ", none = "The matrix will not converge...\n";
  const std::string big = printf_string("%f", 3e38f);
  struct Case {
    std::string text, out;
    int status;
  };
  std::vector<Case> cases = {
      {"1\n0.001\n0 \n4 2\n", "0.500000\ntotal number of iterations: 2\n", 0},
      {kTwoByTwo, kTwoByTwoOut, 0},
      // Starting at the solution still takes one sweep.
      {"1 0.001 0.5 4 2", "0.500000\ntotal number of iterations: 1\n", 0},
      {"1 0 0.5 4 2", "0.500000\ntotal number of iterations: 1\n", 0},
      // A zero first right-hand side from zero: 0/0 stops after one sweep,
      // whatever the tolerance.
      {"2 0.001 0 0 200 37 0 64 200 5", "0.000000\n0.025000\ntotal number of iterations: 1\n", 0},
      {"2 -1 0 0 200 37 0 64 200 5", "0.000000\n0.025000\ntotal number of iterations: 1\n", 0},
      // A negative tolerance: 4x = 2 from 0, sweep 2 equals sweep 1.
      {"1 -1 0 4 2", "The iteration will not converge: sweep 2 repeats sweep 1.\n", 1},
      // The last sweep's values are printed (sweep 3 has 0.011263 and 0.021680).
      {"2 0.05" + two_by_two, "0.010989\n0.021396\ntotal number of iterations: 4\n", 0},
      // The first row that fails dominance is named: magnitudes, rounded sums
      // and special values as "%f" shows them.
      {"2 0.001 0 0 1 2 1 0 5 1", fails + "1.000000  sum = 2.000000\n", 1},
      {"3 0.001 0 0 0  5 1 1 1  1 -2 3 1  1 1 0.5 1", fails + "2.000000  sum = 4.000000\n", 1},  // not row 2
      {"3 0.1 0 0 0  -0.1 0.05 0.06 1  1 5 1 1  1 1 5 1", fails + "0.100000  sum = 0.110000\n", 1},
      {"2 0.1 0 0 1 -inf 1 0 3 1", fails + "1.000000  sum = inf\n", 1},
      {"3 0.1 0 0 0  3e38 3e38 3e38 1  0 1 0 1  0 0 1 1", fails + big + "  sum = inf\n", 1},
      // No strict row: three full stops.
      {"2 0.001 0 0 0 0 1 0 0 1", none, 1},      // all zero
      {"2 0.001 0 0 2 2 1 3 3 1", none, 1},      // both rows equal
      {"1 0.001 0 0 2", none, 1},                // 1x1 zero
      {"1 0.001 0 -0 2", none, 1},               // 1x1 negative zero
      {"1 0.001 0 nan 2", none, 1},              // 1x1 NaN
      {"2 0.001 0 0 nan 1 1 1 nan 1", none, 1},  // NaN rows neither fail nor count
      // Row 0 all zero: x[0] becomes inf, whose change inf/inf is NaN: one
      // sweep. Row 1 all zero: its NaN change is passed over; in sweep 2 x[0]
      // becomes -inf, and its NaN change ends the run.
      {"2 0.001 0 0 0 0 1 1 3 2", "inf\n0.666667\ntotal number of iterations: 1\n", 0},
      {"2 0.001 0 0 3 1 2 0 0 1", "-inf\ninf\ntotal number of iterations: 2\n", 0},
      // Large and tiny values as "%f" prints them.
      {"1 0 0 1 3e38", big + "\ntotal number of iterations: 2\n", 0},
      {"1 0 0 1 -1e-30", "-0.000000\ntotal number of iterations: 2\n", 0},
      {"1 0 0 -1 0.0000005", "-0.000000\ntotal number of iterations: 2\n", 0},
      {"1 0 0 1 0.0000015", "0.000002\ntotal number of iterations: 2\n", 0},
      // Subnormal values are not flushed to zero: x[0] = -(1 * 1e-40) / 1e-39.
      {"2 0 0 1  1e-39 1e-40 0  0 1 1", "-0.099999\n1.000000\ntotal number of iterations: 2\n", 0},
      {"1 0 0 1e-40 1e-45", "0.000014\ntotal number of iterations: 2\n", 0},
  };
  // A NaN tolerance, or one of 1 or more from zero, stops after one sweep.
  for (const char* tol : {"nan", "-nan", "NAN", "1", "1.0", "2", "1e9", "inf"})
    cases.push_back({"2 " + std::string(tol) + two_by_two, once, 0});
  // Sweep 1 changes by 2 at most, every later sweep by exactly 2: any
  // tolerance below 2 never stops it, and sweep 4 repeats sweep 2; 2 or
  // more, or NaN, stops it after one sweep.
  for (const std::string tol : {"0", "0.001", "1", "1.999", "-1", "-inf", "-0", "1e-30", "2", "3", "inf", "nan"}) {
    const bool stops = tol == "2" || tol == "3" || tol == "inf" || tol == "nan";
    cases.push_back({"3\n" + tol + "\n1 -1 0\n1 -1 0 0\n-1 1 0 0\n0 0 2 2\n",
                     stops ? "-1.000000\n1.000000\n1.000000\ntotal number of iterations: 1\n"
                           : "The iteration will not converge: sweep 4 repeats sweep 2.\n",
                     stops ? 0 : 1});
  }
  for (const Case& c : cases) {
    SCOPED_TRACE(shown(c.text));
    EXPECT_TRUE(printed(solve_agreeing(c.text, within(10)), c.out, c.status));
  }
}

// Problems that pass the pre-check and print what the reference prints.
TEST_F(Report, WeakNegativeAndNanRowsPassAndPrintAsTheReferenceDoes) {
  for (const std::string text :
       {"2 0.001 0 0 2 2 1 1 3 1",    // [[2, 2], [1, 3]]
        "2 0.001 0 0 -4 3 1 3 -4 1",  // [[-4, 3], [3, -4]]
        "2 0.001 0 0 0 0 1 1 3 2",    // an all-zero row beside a strict one
        "2 0.001 0 0 nan 1 1 1 3 2",  // a NaN diagonal beside a strict row
        "2 0.001 0 0 inf 1 1 1 3 2",  // an infinite diagonal
        "1 0.001 0 inf 2",            // 1x1 infinite
        // IEEE-754 leaves open which NaN an operation on two NaNs gives;
        // the sign that "%f" shows must be the reference's.
        "3 0 0 1 1  1 nan -nan 1  0 5 0 1  0 0 5 1", "3 0 0 1 1  1 -nan nan 1  0 5 0 1  0 0 5 1",
        "3 0 0 inf 1  1 0 -nan 1  0 5 0 1  0 0 5 1", "3 0 0 -inf inf 1 1 0 1 0 5 0 1 0 0 5 1",
        "3 0 1 1 1  4 -nan nan -nan  nan -4 -nan nan  1 1 5 nan", "2 0 nan -nan  4 1 nan  1 4 -nan"}) {
    SCOPED_TRACE(text);
    EXPECT_EQ(solve_agreeing(text).out.find("The matrix will not converge"), std::string::npos);
  }
}

// --monitor FILE: one "SWEEP CHANGE" line per sweep on standard error, for
// exactly the sweeps the reference makes; standard output and the status
// are those of the run without it.
TEST_F(Report, MonitorShowsEverySweepAndChangesNothingElse) {
  std::vector<std::pair<std::string, std::string>> cases = {
      // text, and the exact monitor text when given
      {"1 0.001 0 4 2", "1 1\n2 0\n"},
      {"2 0.001 0 0 200 37 3 64 200 5", ""},
      {"2 -1 0 0 200 37 0 64 200 5", "1 nan\n"},    // 0/0 first: ends even a negative tolerance
      {"2 0.001 0 0 3 1 2 0 0 1", "1 1\n2 nan\n"},  // a later NaN is passed over
      {"3\n0.001\n1 -1 0\n1 -1 0 0\n-1 1 0 0\n0 0 2 2\n", "1 2\n2 2\n3 2\n4 2\n"},  // sweep 4 repeats 2
      {"2 0.001 0 0 1 2 1 0 5 1", ""},                                              // refused before any sweep: no line
  };
  ProblemMaker maker(77);
  for (int k = 0; k < 8; ++k) cases.emplace_back(maker.problem({.n = maker.uniform(2, 40)}), "");
  for (const auto& [text, lines] : cases) {
    SCOPED_TRACE(shown(text, 200));
    const std::string path = write("p.txt", text);
    const auto ref = reference(text);
    ASSERT_TRUE(ref);
    const RunResult plain = solve(path), monitored = itsolv({"--monitor", path});
    EXPECT_TRUE(agrees(plain, text, path));
    EXPECT_TRUE(monitored.exited && monitored.status == plain.status && monitored.out == plain.out) << monitored;
    EXPECT_EQ(monitored.err, ref->monitor);
    EXPECT_TRUE(lines.empty() || monitored.err == lines) << monitored.err;
  }
}

// With a negative tolerance only a repeated estimate ends the run; small
// fixed problems, and random larger ones.
TEST_F(EndlessSweeps, NegativeToleranceEndsOnceTheEstimateRepeatsAndAgrees) {
  for (const std::string text : {"2 -1 0 0 200 37 3 64 200 5", "2 -0.001 0 0 200 37 3 64 200 5",
                                 "2 -inf 1 1 200 37 3 64 200 5", "1 -1e-30 0.5 4 2"}) {
    SCOPED_TRACE(text);
    EXPECT_TRUE(solve_agreeing(text, within(10)).out.starts_with("The iteration will not converge: sweep "));
  }
  ProblemMaker maker(2024);
  for (int k = 0; k < 12; ++k) {
    const std::string text = maker.problem({.n = maker.uniform(2, 90),
                                            .style = maker.random_style(),
                                            .allow_special = false,
                                            .allow_weak = false,
                                            .tolerance = maker.pick<std::string>({"-1", "-0.5", "-1e-20", "-inf"})});
    SCOPED_TRACE(k);
    ASSERT_TRUE(solve_agreeing(text, within(10)).exited);
  }
}

}  // namespace
}  // namespace cli

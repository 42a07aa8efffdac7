// itsolv-mpi run by mpirun with 1, 2 and 3 processes prints the same bytes
// and ends with the same status as itsolv, for problems whose rows do not
// split evenly, for pre-check failures in any block, for NaNs that meet, for
// an estimate that repeats, with --monitor, and for a wrong command line.
#include "mpi/same_output.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

namespace {

using namespace mpi_test;

// Random problems whose rows do not split evenly, small integers, wide ones,
// decimals, and mixed ones with white space of every kind between their
// tokens, are solved. Reports that depend on the block a row lies in: the
// first failing row is named wherever its block is; one strict row, in the
// last block only, counts; row 40 of 70 lies in a later block for 2 and 3
// processes, and a NaN meets a NaN of the other sign in columns 0 and 1,
// before that block (the sum's operand order there decides the sign the
// report shows); an estimate that repeats stops every process; whatever
// follows the last value is not read.
TEST_F(SameOutput, ReportIsTheSameForAnyProcessCount) {
  auto random = [](int32_t n, Kind kind) {
    return testing_support::problem_text(testing_support::random_values(n, kind, 100 + n));
  };
  auto mixed = [](int32_t n) { return lay_out(mixed_values(n, 100 + n), n).text; };
  Values v = testing_support::random_values(10, Kind::small_integers, 3);
  std::vector<std::string> failing;  // the last row, then rows 5 and 9, then row 1 too
  for (const auto& [row, diagonal] : {std::pair{9, 1.0f}, {5, 2.0f}, {1, 3.0f}}) {
    v.at(row, row) = diagonal;
    failing.push_back(testing_support::problem_text(v));
  }
  Values weak = testing_support::random_values(10, Kind::weak, 4);
  weak.at(0, 0) = 0;
  for (int32_t j = 1; j < 10; ++j) weak.at(0, 0) += std::fabs(weak.at(0, j));
  const std::string all_weak = testing_support::problem_text(weak);
  weak.at(9, 9) += weak.at(9, 9) < 0 ? -1.0f : 1.0f;
  Values nan = testing_support::random_values(70, Kind::decimals, 12);
  nan.at(40, 0) = std::numeric_limits<float>::quiet_NaN();
  nan.at(40, 1) = -std::numeric_limits<float>::quiet_NaN();
  const std::string solved = "total number of iterations";
  enum How { is, starts, has };
  const struct {
    const char* name;
    std::string text;
    How how;
    std::string out;
  } cases[] = {
      {"1 variable", random(1, Kind::small_integers), has, solved},
      {"2 variables, decimals", random(2, Kind::decimals), has, solved},
      {"5 variables, mixed", mixed(5), has, solved},
      {"67 variables, wide integers", random(67, Kind::wide_integers), has, solved},
      {"130 variables, decimals", random(130, Kind::decimals), has, solved},
      {"301 variables, mixed", mixed(301), has, solved},
      {"only the last row fails", failing[0], starts, "The matrix will not converge.\naii = 1.000000"},
      {"rows 5 and 9, in other blocks of three: row 5", failing[1], starts,
       "The matrix will not converge.\naii = 2.000000"},
      {"row 1, in the first block", failing[2], starts, "The matrix will not converge.\naii = 3.000000"},
      {"every row weakly dominant", all_weak, is, "The matrix will not converge...\n"},
      {"one strict row, in the last block", testing_support::problem_text(weak), has, solved},
      {"NaN meeting NaN before the block", testing_support::problem_text(nan), has, "nan"},
      {"estimate that repeats", "3\n0.001\n1 -1 0\n1 -1 0 0\n-1 1 0 0\n0 0 2 2\n", is,
       "The iteration will not converge: sweep 4 repeats sweep 2.\n"},
      // Tokens after the last value are not read, numbers or not.
      {"a non-number right after the last value", testing_support::problem_text(weak) + "x", has, solved},
      {"non-numbers on lines after it", testing_support::problem_text(weak) + "1.5.2 #\n\nnan(\n", has, solved},
  };
  for (const auto& c : cases) {
    const RunResult want = expect_same({file("p.txt", c.text)});
    const size_t at = want.out.find(c.out);
    EXPECT_TRUE(c.how == is       ? want.out == c.out
                : c.how == starts ? at == 0
                                  : at != std::string::npos)
        << c.name << ": " << want.out.substr(0, 200);
    EXPECT_TRUE(c.out != solved || want.status == 0) << c.name << ": " << want;
  }
}

TEST_F(SameOutput, MonitorLinesComeOnceFromProcessZero) {
  const Values v = testing_support::random_values(130, Kind::decimals, 7);
  for (const std::string& path : {file("p.txt", testing_support::problem_text(v)),
                                  file("cycle.txt", "3\n0.001\n1 -1 0\n1 -1 0 0\n-1 1 0 0\n0 0 2 2\n")}) {
    const RunResult want = expect_same({"--monitor", path});
    ASSERT_FALSE(want.err.empty());
    for (int processes : {2, 3}) {
      const RunResult got = run(mpi(processes), {"--monitor", path});
      // After a failure mpirun adds a notice of its own.
      EXPECT_EQ(want.status == 0 ? got.err : got.err.substr(0, want.err.size()), want.err) << processes;
      const RunResult waiting = run(mpi(processes), {"--monitor", "--wait", "30.5", path});
      EXPECT_EQ(waiting.out, want.out) << processes;
      EXPECT_EQ(waiting.err.substr(0, want.err.size()), want.err) << processes;
    }
  }
}

TEST_F(SameOutput, WrongCommandLineGetsItsolvUsage) {
  EXPECT_EQ(expect_same({}).out, "Usage: itsolv filename\n");
  const std::string path = file("p.txt", "1 0.001 0 4 2\n");
  EXPECT_EQ(expect_same({path, path}).status, 1);
  // Options only as the lone argument.
  EXPECT_EQ(expect_same({"--help", "extra"}).out, "Usage: itsolv filename\n");
  // --wait only with a positive number of seconds, after --monitor and
  // before the file (every process decides it alike: two are enough).
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{{"--wait", "0", path},
                                                                                    {"--wait", "-1", path},
                                                                                    {"--wait", "1e3", path},
                                                                                    {"--wait", "1..5", path},
                                                                                    {"--wait", "2"},
                                                                                    {"--wait", "2", "--monitor", path},
                                                                                    {"--monitor", "--wait", path}}) {
    const RunResult got = run(mpi(2), args);
    EXPECT_EQ(got.out, "Usage: itsolv filename\n") << args[1];
    EXPECT_EQ(got.status, 1) << args[1];
  }
}

// Help and version under itsolv-mpi's own name, printed once however many
// processes run.
TEST_F(SameOutput, HelpAndVersionFromProcessZeroOnly) {
  auto count = [](const std::string& text, const std::string& part) {
    size_t n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
  };
  for (int processes : {1, 3}) {
    const std::string job = mpi(processes);
    const RunResult help = run(job, {"--help"});
    EXPECT_EQ(help.status, 0) << help.err;
    EXPECT_EQ(help.out.rfind("itsolv-mpi - ", 0), 0u) << help.out;
    EXPECT_EQ(count(help.out, "Usage: itsolv-mpi FILE\n"), 1u) << help.out;
    EXPECT_EQ(run(job, {"-h"}).out, help.out);
    const RunResult version = run(job, {"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out.rfind("itsolv-mpi ", 0), 0u) << version.out;
    EXPECT_EQ(count(version.out, "\n"), 1u) << version.out;
  }
}

}  // namespace

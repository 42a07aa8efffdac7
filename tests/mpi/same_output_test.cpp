// itsolv-mpi run by mpirun with 1, 2 and 3 processes prints the same bytes
// and ends with the same status as itsolv, for problems whose rows do not
// split evenly, for every refusal of the loader and the pre-check, for an
// estimate that repeats, and for a wrong command line.
#include <gtest/gtest.h>

#include <iterator>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include "support/problem_values.hpp"
#include "support/run_program.hpp"
#include "support/temp_files.hpp"

using testing_support::Kind;
using testing_support::Values;

namespace {

using testing_support::RunResult;

// A run of mpirun that takes longer than this is taken for a hang: the
// processes disagree about when to stop, and one waits for ever.
constexpr double kRunSeconds = 8;

class SameOutput : public testing::Test {
 protected:
  std::string file(const std::string& name, const std::string& text) { return dir_.write(name, text); }

  static RunResult run(const std::string& program, const std::vector<std::string>& args) {
    std::istringstream words(program);
    std::vector<std::string> argv{std::istream_iterator<std::string>(words), {}};
    testing_support::RunOptions options;
    options.timeout_seconds = kRunSeconds;
    options.timeout_signal = SIGTERM;  // mpirun ends its processes too
    argv.insert(argv.end(), args.begin(), args.end());
    return testing_support::run_program(argv[0], {argv.begin() + 1, argv.end()}, options);
  }

  // itsolv's run on args, after checking that itsolv-mpi with 1, 2 and 3
  // processes does the same.
  RunResult expect_same(const std::vector<std::string>& args) {
    const RunResult want = run(ITSOLV_PATH, args);
    for (int processes : {1, 2, 3}) {
      const RunResult got =
          run(std::string(MPIEXEC_COMMAND) + " -np " + std::to_string(processes) + " " ITSOLV_MPI_PATH, args);
      EXPECT_FALSE(got.timed_out) << processes << " processes did not end within " << kRunSeconds << " seconds";
      EXPECT_EQ(got.out, want.out) << processes << " processes; their standard error:\n" << got.err;
      EXPECT_EQ(got.status, want.status) << processes << " processes; their standard error:\n" << got.err;
    }
    return want;
  }

  testing_support::TempDir dir_;
  const std::string& dir() const { return dir_.path(); }
};

// A problem with small-integer rows, a decimal row in the last block and a
// coefficient that needs 16 bits in the middle: the blocks keep different
// compact storage.
Values mixed_values(int32_t n, uint32_t seed) {
  Values v = testing_support::random_values(n, Kind::small_integers, seed);
  auto widen_diagonal = [&](int32_t i, float by) { v.at(i, i) += v.at(i, i) < 0 ? -by : by; };
  if (n >= 2) {
    v.at(n - 1, 0) = 2.375f;
    widen_diagonal(n - 1, 3.0f);
  }
  if (n >= 3) {
    v.at(n / 2, n / 2 + 1) = 30000.0f;
    widen_diagonal(n / 2, 30200.0f);
  }
  return v;
}

struct Random {
  int32_t n;
  Kind kind;
  bool mixed;
};

void PrintTo(const Random& c, std::ostream* out) {
  *out << c.n << " variables" << (c.mixed ? ", mixed coefficients" : "");
}

class RandomProblem : public SameOutput, public testing::WithParamInterface<Random> {};

TEST_P(RandomProblem, ReportIsTheSameForAnyProcessCount) {
  const Random c = GetParam();
  const Values v = c.mixed ? mixed_values(c.n, 100 + c.n) : testing_support::random_values(c.n, c.kind, 100 + c.n);
  const RunResult want = expect_same({file("p.txt", testing_support::problem_text(v))});
  EXPECT_EQ(want.status, 0) << want.out.substr(0, 200);
}

INSTANTIATE_TEST_SUITE_P(Sizes, RandomProblem,
                         testing::Values(Random{1, Kind::small_integers, false}, Random{2, Kind::decimals, false},
                                         Random{5, Kind::small_integers, true}, Random{67, Kind::wide_integers, false},
                                         Random{130, Kind::decimals, false}, Random{301, Kind::small_integers, true}),
                         [](const testing::TestParamInfo<Random>& info) { return std::to_string(info.param.n); });

struct Refusal {
  const char* name;
  const char* text;    // the file's bytes; null: no such file
  const char* starts;  // how itsolv's message starts
};

void PrintTo(const Refusal& c, std::ostream* out) { *out << c.name; }

class RefusedFile : public SameOutput, public testing::WithParamInterface<Refusal> {};

TEST_P(RefusedFile, SameMessageAndStatus) {
  const Refusal c = GetParam();
  std::string path = dir() + "/missing.txt";
  if (c.text != nullptr) path = file("p.txt", c.text);
  if (std::string(c.name) == "directory") path = dir();
  const RunResult want = expect_same({path});
  EXPECT_EQ(want.status, 1);
  EXPECT_EQ(want.out.rfind(c.starts, 0), 0u) << want.out;
}

INSTANTIATE_TEST_SUITE_P(
    Loading, RefusedFile,
    testing::Values(Refusal{"missing", nullptr, "Cannot open file"}, Refusal{"directory", nullptr, "Cannot open file"},
                    Refusal{"empty", "", "The matrix will not converge..."},
                    // In the last row, which only the last block keeps.
                    Refusal{"malformed", "3 0.01 0 0 0  4 1 1 1  1 4 1 1  1 1 4 1.5.2\n", "Cannot read file"},
                    Refusal{"short", "5 0.01\n0 0 0 0 0\n9 1 1 1 1 1\n", "Cannot read file"},
                    Refusal{"huge_count", "2000000000 0.01\n0 0\n", "Cannot read file"},
                    Refusal{"negative_count", "-3 0.01\n", "Cannot allocate a!"}),
    [](const testing::TestParamInfo<Refusal>& info) { return std::string(info.param.name); });

class PreCheck : public SameOutput {};

TEST_F(PreCheck, NamesTheFirstFailingRowWhereverItsBlockIs) {
  // Only the last row fails.
  Values v = testing_support::random_values(10, Kind::small_integers, 3);
  v.at(9, 9) = 1;
  RunResult want = expect_same({file("last.txt", testing_support::problem_text(v))});
  EXPECT_EQ(want.out.rfind("The matrix will not converge.\naii = 1.000000", 0), 0u) << want.out;
  // Rows 5 and 9 fail, in different blocks of three: row 5 is named.
  v.at(5, 5) = 2;
  want = expect_same({file("two.txt", testing_support::problem_text(v))});
  EXPECT_EQ(want.out.rfind("The matrix will not converge.\naii = 2.000000", 0), 0u) << want.out;
}

TEST_F(PreCheck, StrictRowsOfAllBlocksCount) {
  // Every row weakly dominant: refused.
  Values v = testing_support::random_values(10, Kind::weak, 4);
  v.at(0, 0) = 0;
  for (int32_t j = 1; j < 10; ++j) v.at(0, 0) += std::fabs(v.at(0, j));
  RunResult want = expect_same({file("weak.txt", testing_support::problem_text(v))});
  EXPECT_EQ(want.out, "The matrix will not converge...\n");
  // One strict row, in the last block only: accepted.
  v.at(9, 9) += v.at(9, 9) < 0 ? -1.0f : 1.0f;
  want = expect_same({file("strict_last.txt", testing_support::problem_text(v))});
  EXPECT_NE(want.out.find("total number of iterations"), std::string::npos) << want.out;
}

// Row 40 of 70 lies in a later block for 2 and 3 processes, and a NaN meets
// a NaN of the other sign in columns 0 and 1, before that block: the sum's
// operand order there decides the sign that the report shows.
TEST_F(SameOutput, NanMeetingNanBeforeTheBlockKeepsItsSign) {
  Values v = testing_support::random_values(70, Kind::decimals, 12);
  v.at(40, 0) = std::numeric_limits<float>::quiet_NaN();
  v.at(40, 1) = -std::numeric_limits<float>::quiet_NaN();
  const RunResult want = expect_same({file("nan.txt", testing_support::problem_text(v))});
  EXPECT_NE(want.out.find("nan"), std::string::npos) << want.out;
}

TEST_F(SameOutput, EstimateThatRepeatsStopsEveryProcess) {
  const RunResult want = expect_same({file("cycle.txt", "3\n0.001\n1 -1 0\n1 -1 0 0\n-1 1 0 0\n0 0 2 2\n")});
  EXPECT_EQ(want.out, "The iteration will not converge: sweep 4 repeats sweep 2.\n");
}

TEST_F(SameOutput, MonitorLinesComeOnceFromProcessZero) {
  const Values v = testing_support::random_values(130, Kind::decimals, 7);
  for (const std::string& path : {file("p.txt", testing_support::problem_text(v)),
                                  file("cycle.txt", "3\n0.001\n1 -1 0\n1 -1 0 0\n-1 1 0 0\n0 0 2 2\n")}) {
    const RunResult want = expect_same({"--monitor", path});
    ASSERT_FALSE(want.err.empty());
    for (int processes : {2, 3}) {
      const RunResult got = run(std::string(MPIEXEC_COMMAND) + " -np " + std::to_string(processes) + " " ITSOLV_MPI_PATH,
                             {"--monitor", path});
      // After a failure mpirun adds a notice of its own.
      EXPECT_EQ(want.status == 0 ? got.err : got.err.substr(0, want.err.size()), want.err) << processes;
    }
  }
}

TEST_F(SameOutput, WrongCommandLineGetsItsolvUsage) {
  EXPECT_EQ(expect_same({}).out, "Usage: itsolv filename\n");
  const std::string path = file("p.txt", "1 0.001 0 4 2\n");
  EXPECT_EQ(expect_same({path, path}).status, 1);
  // Options only as the lone argument.
  EXPECT_EQ(expect_same({"--help", "extra"}).out, "Usage: itsolv filename\n");
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
    const std::string mpi = std::string(MPIEXEC_COMMAND) + " -np " + std::to_string(processes) + " " ITSOLV_MPI_PATH;
    const RunResult help = run(mpi, {"--help"});
    EXPECT_EQ(help.status, 0) << help.err;
    EXPECT_EQ(help.out.rfind("itsolv-mpi - ", 0), 0u) << help.out;
    EXPECT_EQ(count(help.out, "Usage: itsolv-mpi FILE\n"), 1u) << help.out;
    EXPECT_EQ(run(mpi, {"-h"}).out, help.out);
    const RunResult version = run(mpi, {"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out.rfind("itsolv-mpi ", 0), 0u) << version.out;
    EXPECT_EQ(count(version.out, "\n"), 1u) << version.out;
  }
}

}  // namespace

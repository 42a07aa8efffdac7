// itsolv-mpi run by mpirun with 1, 2 and 3 processes prints the same bytes
// and ends with the same status as itsolv, for problems whose rows do not
// split evenly, for every refusal of the loader and the pre-check wherever
// in the file (and so in whichever process's byte range) it lies, for a file
// read through a pipe or a FIFO, for an estimate that repeats, and for a
// wrong command line; and each process reads only its share of the file.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <fstream>
#include <limits>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "support/problem_values.hpp"
#include "support/run_program.hpp"
#include "support/temp_files.hpp"

using testing_support::Kind;
using testing_support::RunResult;
using testing_support::Values;

namespace {

// A run of mpirun that takes longer than this is taken for a hang: the
// processes disagree about when to stop, and one waits for ever.
constexpr double kRunSeconds = 8;

std::string shell_word(const std::string& word) {
  std::string q = "'";
  for (char c : word) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

class SameOutput : public testing::Test {
 protected:
  std::string file(const std::string& name, const std::string& text) { return tmp_.write(name, text); }

  // `program` may hold words of its own (mpirun's); `input`, when given, is a
  // shell command whose output is the program's standard input.
  static RunResult run(const std::string& program, const std::vector<std::string>& args,
                       const std::string& input = "") {
    std::string command = program;
    for (const std::string& a : args) {
      command += ' ';
      command += shell_word(a);
    }
    testing_support::RunOptions options;
    options.timeout_seconds = kRunSeconds;
    options.timeout_signal = SIGTERM;  // mpirun ends its processes too
    std::string script = input.empty() ? std::string("exec") : input + " |";
    script += " ";
    script += command;
    return testing_support::run_program("/bin/sh", {"-c", script}, options);
  }

  // itsolv's run on args, after checking that itsolv-mpi with 1, 2 and 3
  // processes does the same.
  RunResult expect_same(const std::vector<std::string>& args) {
    const RunResult want = run(ITSOLV_PATH, args);
    for (int processes : {1, 2, 3}) {
      const RunResult got = run(mpi(processes), args);
      EXPECT_FALSE(got.timed_out) << processes << " processes did not end within " << kRunSeconds << " seconds";
      EXPECT_EQ(got.out, want.out) << processes << " processes; their standard error:\n" << got.err;
      EXPECT_EQ(got.status, want.status) << processes << " processes; their standard error:\n" << got.err;
    }
    return want;
  }

  static std::string mpirun(int processes) { return std::string(MPIEXEC_COMMAND) + " -np " + std::to_string(processes); }
  static std::string mpi(int processes) { return mpirun(processes) + " " ITSOLV_MPI_PATH; }

  testing_support::TempDir tmp_;
  const std::string dir_ = tmp_.path();
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

// The problem with the first token of its last line spoiled.
std::string spoil_last_row(std::string text) {
  const size_t last_line = text.rfind('\n', text.size() - 2) + 1;
  text[last_line] = '#';
  return text;
}

// A problem's tokens with white space of every kind between them, so that
// lines are of any length, and the byte offsets at which itsolv-mpi's two or
// three processes divide the file after the tolerance.
struct Laid {
  std::string text;
  std::vector<size_t> starts;  // of each token
  std::vector<size_t> cuts;    // for 2 processes, then for 3
};

Laid lay_out(const Values& v, uint32_t seed) {
  std::istringstream in(testing_support::problem_text(v));
  std::mt19937 draw(seed);
  const char* const gaps[] = {" ", "\n", "\t", "  ", "\n\n ", " \r\n"};
  Laid laid;
  for (std::string token; in >> token;) {
    laid.starts.push_back(laid.text.size());
    laid.text += token + gaps[draw() % 6];
  }
  const size_t header = laid.starts[1] + laid.text.substr(laid.starts[1]).find_first_of(" \t\r\n");
  const size_t left = laid.text.size() - header;
  laid.cuts = {header + left / 2, header + left / 3, header + left * 2 / 3};
  return laid;
}

// The index of the token that byte `at` lies in, or of the next one.
size_t token_at(const Laid& laid, size_t at) {
  size_t t = 0;
  while (t + 1 < laid.starts.size() && laid.starts[t + 1] <= at) ++t;
  const bool inside = laid.text.find_first_of(" \t\r\n", laid.starts[t]) > at;
  return inside ? t : t + 1;
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
  // Mixed problems with white space of every kind between their tokens.
  const std::string text = c.mixed ? lay_out(v, c.n).text : testing_support::problem_text(v);
  const RunResult want = expect_same({file("p.txt", text)});
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
  std::string path = dir_ + "/missing.txt";
  if (c.text != nullptr) path = file("p.txt", c.text);
  if (std::string(c.name) == "directory") path = dir_;
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

TEST_F(SameOutput, RefusalsWhereverTheyLie) {
  const Values v = testing_support::random_values(40, Kind::small_integers, 11);
  // A layout in which every cut falls inside a token.
  Laid laid;
  for (uint32_t seed = 1;; ++seed) {
    laid = lay_out(v, seed);
    bool inside = true;
    for (size_t cut : laid.cuts) inside = inside && token_at(laid, cut - 1) == token_at(laid, cut);
    if (inside) break;
  }
  // Spoils token t without moving any byte: the cuts stay where they are.
  auto spoil = [&](std::string text, size_t t) {
    text[laid.starts[t]] = 'x';
    return text;
  };
  const size_t last = laid.starts.size() - 1;
  const std::string short_text = laid.text.substr(0, laid.starts[last - 2]);
  struct Case {
    std::string name, text, starts;
  };
  const Case cases[] = {
      {"token across the cut of two", spoil(laid.text, token_at(laid, laid.cuts[0])), "Cannot read file"},
      {"token across the first cut of three", spoil(laid.text, token_at(laid, laid.cuts[1])), "Cannot read file"},
      {"token across the second cut of three", spoil(laid.text, token_at(laid, laid.cuts[2])), "Cannot read file"},
      {"token just after a cut", spoil(laid.text, token_at(laid, laid.cuts[0]) + 1), "Cannot read file"},
      {"a starting value", spoil(laid.text, 5), "Cannot read file"},
      {"two bad tokens: the first in file order",
       spoil(spoil(laid.text, last - 1), token_at(laid, laid.cuts[1]) - 1), "Cannot read file"},
      {"ends three tokens early", short_text, "Cannot read file"},
      {"ends early, after a line break", short_text + "\n", "Cannot read file"},
      {"ends early after a bad token", spoil(short_text, last - 4), "Cannot read file"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const RunResult want = expect_same({file("p.txt", c.text)});
    EXPECT_EQ(want.status, 1);
    EXPECT_EQ(want.out.rfind(c.starts, 0), 0u) << want.out;
  }
}

// A pipe, a FIFO, /dev/stdin: process 0 reads the file and hands it on.
TEST_F(SameOutput, FileThatCannotBeReadAtAnOffset) {
  // A new FIFO for every run: a writer left from a run that stopped
  // reading early must not feed the next one.
  int fifos = 0;
  auto through_fifo = [&](const std::string& feed, const std::string& program) {
    const std::string fifo = dir_ + "/fifo" + std::to_string(++fifos);
    EXPECT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    return run(feed + " >" + shell_word(fifo) + " & " + program, {fifo});
  };
  // Open MPI 4.1's mpirun itself now and then crashes while it forwards its
  // standard input to process 0 (in orte_iof_hnp_read_local_handler); such a
  // run is run again.
  auto through_stdin = [&](const std::string& feed, const std::string& program) {
    RunResult r;
    for (int tries = 0; tries < 5; ++tries) {
      r = run(program, {"/dev/stdin"}, feed);
      if (r.err.find("orte_iof_hnp_read_local_handler") == std::string::npos) break;
    }
    return r;
  };
  const std::string mixed = file("mixed.txt", testing_support::problem_text(mixed_values(301, 5)));
  const std::string bad = file("bad.txt", spoil_last_row(testing_support::problem_text(mixed_values(30, 6))));
  for (const std::string& path : {mixed, bad}) {
    SCOPED_TRACE(path);
    const std::string feed = "cat " + shell_word(path);
    const RunResult want = through_fifo(feed, ITSOLV_PATH);
    const RunResult from_stdin = run(ITSOLV_PATH, {"/dev/stdin"}, feed);
    for (int processes : {2, 3}) {
      const RunResult got = through_fifo(feed, mpi(processes));
      // A refusal names the FIFO.
      std::string expected = want.out;
      const std::string named = "fifo" + std::to_string(fifos);
      for (size_t at = expected.find("/fifo"); at != std::string::npos; at = expected.find("/fifo", at + 1))
        expected.replace(at + 1, expected.find(':', at) - at - 1, named);
      EXPECT_EQ(got.out, expected) << processes << got.err;
      EXPECT_EQ(got.status, want.status) << processes;
      EXPECT_EQ(through_stdin(feed, mpi(processes)).out, from_stdin.out) << processes;
    }
    EXPECT_EQ(want.status, path == mixed ? 0 : 1) << want.out;
  }
}

// No process reads much more than its share of the file: bytes read (rchar,
// which counts those of a child once the shell has waited for it) beyond
// what a run on a tiny file reads, at most the file's size / K + 10%.
TEST_F(SameOutput, EachProcessReadsItsShare) {
  const std::string big = file("big.txt", testing_support::problem_text(
                                              testing_support::random_values(1000, Kind::small_integers, 9)));
  const std::string tiny = file("tiny.txt", "1 0.001 0 4 2\n");
  const double size = static_cast<double>(std::ifstream(big, std::ios::ate | std::ios::binary).tellg());
  auto bytes_read = [&](int processes, const std::string& path) {
    const std::string script = ITSOLV_MPI_PATH " " + shell_word(path) + " >/dev/null; grep rchar /proc/$$/io";
    std::istringstream lines(run(mpirun(processes) + " sh -c", {script}).out);
    std::vector<double> each;
    for (std::string tag; lines >> tag;) each.push_back(0), lines >> each.back();
    return each;
  };
  for (int processes : {2, 3}) {
    const std::vector<double> start_up = bytes_read(processes, tiny), got = bytes_read(processes, big);
    ASSERT_EQ(got.size(), static_cast<size_t>(processes));
    const double most_at_start = *std::max_element(start_up.begin(), start_up.end());
    for (double bytes : got) EXPECT_LE(bytes - most_at_start, size / processes * 1.1) << processes << " processes";
  }
}

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
  // And row 1, in the first block, before them.
  v.at(1, 1) = 3;
  want = expect_same({file("three.txt", testing_support::problem_text(v))});
  EXPECT_EQ(want.out.rfind("The matrix will not converge.\naii = 3.000000", 0), 0u) << want.out;
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
      const RunResult got = run(mpi(processes), {"--monitor", path});
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

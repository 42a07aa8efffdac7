// The fixture of the itsolv-mpi tests: itsolv and itsolv-mpi run on the same
// arguments, mpirun with 1, 2 and 3 processes, and problems laid out so that
// tokens and lines straddle the cuts between the processes' byte ranges.
#pragma once

#include <gtest/gtest.h>

#include <random>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "support/problem_texts.hpp"
#include "support/run_program.hpp"
#include "support/temp_files.hpp"

namespace mpi_test {

using testing_support::Kind;
using testing_support::RunResult;
using testing_support::Values;

// A run of mpirun that takes longer is taken for a hang (processes that
// disagree about when to stop): well under a second alone, but long on a
// busy machine. After a hang the test starts no more runs, so that it fails
// well before CTest's limit (tests/mpi/CMakeLists.txt).
constexpr double kRunSeconds = 60;

inline std::string shell_word(const std::string& word) {
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
    if (hung_) {
      RunResult skipped;
      skipped.timed_out = true;
      skipped.err = "not run: an earlier run of this test hung";
      return skipped;
    }
    std::string script = input.empty() ? std::string("exec") : input + " |";
    (script += ' ') += program;
    for (const std::string& a : args) (script += ' ') += shell_word(a);
    testing_support::RunOptions options;
    options.timeout_seconds = kRunSeconds;
    options.timeout_signal = SIGTERM;  // mpirun ends its processes too
    options.own_group = true;          // also when the shell started it
    // mpirun's hwloc looks for X displays, a slow lookup of the machine's
    // name each time where it does not resolve.
    options.in_child = [] { ::setenv("HWLOC_COMPONENTS", "-gl", 0); };
    RunResult result = testing_support::run_program("/bin/sh", {"-c", script}, options);
    if (result.timed_out) {
      hung_ = true;
      ADD_FAILURE() << "did not end within " << kRunSeconds << " seconds: " << script << "\n" << result;
    }
    return result;
  }

  // itsolv's run on args, after checking that itsolv-mpi with 1, 2 and 3
  // processes does the same.
  RunResult expect_same(const std::vector<std::string>& args) {
    const RunResult want = run(ITSOLV_PATH, args);
    for (int processes : {1, 2, 3}) {
      const RunResult got = run(mpi(processes), args);
      EXPECT_EQ(got.out, want.out) << processes << " processes: " << got;
      EXPECT_EQ(got.status, want.status) << processes << " processes: " << got;
    }
    return want;
  }

  static std::string mpirun(int processes) {
    return std::string(MPIEXEC_COMMAND) + " -np " + std::to_string(processes);
  }
  static std::string mpi(int processes) { return mpirun(processes) + " " ITSOLV_MPI_PATH; }

  // One job of `copies.size()` groups of processes, each given its own path
  // after `options`, as if each machine held a copy of the file.
  static RunResult run_copies(const std::vector<std::pair<int, std::string>>& copies,
                              const std::vector<std::string>& options = {}) {
    std::vector<std::string> words;
    for (const auto& [processes, path] : copies) {
      if (!words.empty()) words.push_back(":");
      words.insert(words.end(), {"-np", std::to_string(processes), ITSOLV_MPI_PATH});
      words.insert(words.end(), options.begin(), options.end());
      words.push_back(path);
    }
    return run(MPIEXEC_COMMAND, words);
  }

  void SetUp() override { hung_ = false; }

  testing_support::TempDir tmp_;
  const std::string dir_ = tmp_.path();
  static inline bool hung_ = false;  // a run of this test timed out
};

// A problem with small-integer rows, a decimal row in the last block and a
// coefficient that needs 16 bits in the middle: the blocks keep different
// compact storage.
inline Values mixed_values(int32_t n, uint32_t seed) {
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
inline std::string spoil_last_row(std::string text) {
  text[text.rfind('\n', text.size() - 2) + 1] = '#';
  return text;
}

// A problem's tokens with white space of every kind between them, and the
// byte offsets at which two or three processes divide the file after the
// tolerance.
struct Laid {
  std::string text;
  std::vector<size_t> starts;  // of each token
  std::vector<size_t> cuts;    // for 2 processes, then for 3
};

inline Laid lay_out(const Values& v, uint32_t seed) {
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
inline size_t token_at(const Laid& laid, size_t at) {
  size_t t = 0;
  while (t + 1 < laid.starts.size() && laid.starts[t + 1] <= at) ++t;
  const bool inside = laid.text.find_first_of(" \t\r\n", laid.starts[t]) > at;
  return inside ? t : t + 1;
}

// A layout of v in which no token ends just before a cut (each cut lies
// inside a token, at its start or in white space).
inline Laid lay_out_across_cuts(const Values& v) {
  for (uint32_t seed = 1;; ++seed) {
    Laid laid = lay_out(v, seed);
    bool inside = true;
    for (size_t cut : laid.cuts) inside = inside && token_at(laid, cut - 1) == token_at(laid, cut);
    if (inside) return laid;
  }
}

}  // namespace mpi_test

// Shared parts of the end-to-end tests of the built itsolv: the temp-dir
// fixture, the literal reference outcome of a problem text, checks of a run
// against it, and a tally of how many runs ended each way.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "support/literal_solver.hpp"
#include "support/preconditions.hpp"
#include "support/problem_texts.hpp"
#include "support/run_program.hpp"
#include "support/temp_files.hpp"

namespace cli {

using namespace testing_support;
using literal::printf_string;
using literal::Token;

inline const std::string kItsolv = ITSOLV_PATH;

// A small problem that several tests solve, and what itsolv prints for it.
inline constexpr char kTwoByTwo[] = "2\n0.001\n0 0 \n200 37 3\n64 200 5\n";
inline constexpr char kTwoByTwoOut[] = "0.011029\n0.021472\ntotal number of iterations: 7\n";

// What itsolv must print for a problem text: literal::solve_text's outcome,
// or "Cannot allocate a!" for a negative count whatever follows it; none
// when the text is not a complete problem (one "Cannot read file" line).
inline std::optional<literal::Outcome> reference(const std::string& text) {
  const std::vector<std::string> head = literal::tokens_of(text, 2);
  int32_t count = 0;
  literal::Outcome outcome;
  if (!head.empty() && !literal::whole_count(head[0], count)) return std::nullopt;
  if (count < 0) return literal::Outcome{"Cannot allocate a!\n", 1, ""};
  if (literal::solve_text(text, outcome)) return outcome;
  return std::nullopt;
}

// The bytes readable in a failure message: line breaks kept, the rest of
// the control and non-ASCII bytes in hex, at most `limit` of them.
inline std::string shown(const std::string& bytes, size_t limit = 600) {
  std::string out;
  for (const unsigned char c : bytes.substr(0, limit))
    out += c == '\n'                            ? "\\n\n"
           : c >= 0x20 && c < 0x7f && c != '\\' ? std::string(1, char(c))
                                                : printf_string("\\x%02x", c);
  if (bytes.size() > limit) out += "... (" + std::to_string(bytes.size()) + " bytes)";
  return out;
}

inline ::testing::AssertionResult failure(const std::string& expected, const RunResult& run) {
  return ::testing::AssertionFailure() << "expected " << expected << ", got " << run.how() << " and output\n"
                                       << shown(run.out) << "\nstandard error: " << shown(run.err);
}

// The run ended by exit with `status` and printed exactly `out` on standard
// output and nothing on standard error.
inline ::testing::AssertionResult printed(const RunResult& run, const std::string& out, int status) {
  if (run.exited && run.status == status && run.out == out && run.err.empty()) return ::testing::AssertionSuccess();
  return failure("exit " + std::to_string(status) + " and output\n" + shown(out) + "\n", run);
}

// The run refused the file with one line "Cannot read file <path>: reason"
// and status 1; `mention`, when given, must appear in the reason.
inline ::testing::AssertionResult read_refusal(const RunResult& run, const std::string& path,
                                               const std::string& mention = "") {
  const std::string prefix = "Cannot read file " + path + ": ";
  const bool one_line =
      run.out.starts_with(prefix) && run.out.size() > prefix.size() + 1 && run.out.find('\n') == run.out.size() - 1;
  if (run.exited && run.status == 1 && run.err.empty() && one_line &&
      (mention.empty() || run.out.find(mention, prefix.size()) != std::string::npos))
    return ::testing::AssertionSuccess();
  return failure(
      "one line \"" + prefix + "...\"" + (mention.empty() ? "" : " mentioning \"" + mention + "\"") + " and exit 1",
      run);
}

// The run did what the reference says for `text`, the bytes of `path`.
inline ::testing::AssertionResult agrees(const RunResult& run, const std::string& text, const std::string& path) {
  const auto ref = reference(text);
  ::testing::AssertionResult result = ref ? printed(run, ref->out, ref->status) : read_refusal(run, path);
  if (!result) result << "\nfor the file\n" << shown(text, 3000);
  return result;
}

// Options for a run of at most `seconds`.
inline RunOptions within(double seconds) {
  RunOptions options;
  options.timeout_seconds = seconds;
  return options;
}

// How many runs ended each way, printed, and each way reached at least as
// often as `least` asks, so that a test shows it reached each path often
// enough to mean something.
using Tally = std::map<std::string, int>;
inline void expect_reached(const Tally& tally, const Tally& least) {
  std::string text;
  for (const auto& [kind, count] : tally) text += kind + ": " + std::to_string(count) + "; ";
  std::printf("[          ] outcomes: %s\n", text.c_str());
  for (const auto& [kind, count] : least) EXPECT_GE(tally.contains(kind) ? tally.at(kind) : 0, count) << text;
}

// Each test gets a directory of its own for its problem files.
class CliTest : public ::testing::Test {
 protected:
  std::string write(const std::string& name, const std::string& bytes) const { return dir_.write(name, bytes); }
  const std::string& dir() const { return dir_.path(); }

  RunResult itsolv(const std::vector<std::string>& args, const RunOptions& options = {}) const {
    return run_program(kItsolv, args, options);
  }
  RunResult solve(const std::string& path, const RunOptions& options = {}) const { return itsolv({path}, options); }
  // Writes `text` to a file called `name` and runs itsolv on it.
  RunResult solve_text(const std::string& text, const std::string& name = "p.txt",
                       const RunOptions& options = {}) const {
    return solve(write(name, text), options);
  }
  // solve_text, expecting what the reference says.
  RunResult solve_agreeing(const std::string& text, const RunOptions& options = {}) const {
    const RunResult run = solve_text(text, "p.txt", options);
    EXPECT_TRUE(agrees(run, text, dir() + "/p.txt"));
    return run;
  }
  // Writes each text to a file of its own, runs them all, several at a time
  // and each within `timeout` seconds, expecting what the reference says.
  std::vector<RunResult> solve_all(const std::vector<std::string>& texts, double timeout) const {
    std::vector<std::string> paths;
    std::vector<std::function<RunResult()>> jobs;
    for (const std::string& text : texts) {
      paths.push_back(write(printf_string("case%zu.txt", paths.size()), text));
      jobs.push_back([path = paths.back(), timeout] { return run_program(kItsolv, {path}, within(timeout)); });
    }
    const std::vector<RunResult> runs = run_all(jobs);
    for (size_t k = 0; k < runs.size(); ++k) EXPECT_TRUE(agrees(runs[k], texts[k], paths[k])) << "case " << k;
    return runs;
  }

 private:
  TempDir dir_;
};

}  // namespace cli

// mkprob for a person at a terminal: help and version on request, and the
// counting of written bytes that its progress line shows.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <regex>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "support/run_program.hpp"
#include "support/temp_files.hpp"
#include "fakes.hpp"
#include "generator/problem_writer.hpp"
#include "generator/write_progress.hpp"

namespace {

using testing_support::RunResult;
using testing_support::TempDir;

RunResult mkprob(const TempDir& dir, std::vector<std::string> args, const std::function<void()>& setup = {}) {
  testing_support::RunOptions options;
  options.directory = dir.path();
  options.in_child = setup;
  return testing_support::run_program(MKPROB_PATH, args, options);
}

const char kUsage[] =
    "\nCommand line: mkprob num error\n"
    "num: number of variables [positive > 1]\n"
    "err: absolute error [1-0.0001]\n";

TEST(MkprobHelpTest, HelpUnderBothNamesWritesNoFile) {
  TempDir dir;
  const RunResult help = mkprob(dir, {"--help"});
  EXPECT_EQ(help.status, 0);
  for (const char* part : {"Usage: mkprob N TOL", "N.txt", "100*N"})
    EXPECT_NE(help.out.find(part), std::string::npos) << part;
  const RunResult h = mkprob(dir, {"-h"});
  EXPECT_EQ(h.status, 0);
  EXPECT_EQ(h.out, help.out);
  EXPECT_TRUE(dir.entries().empty());
}

TEST(MkprobHelpTest, VersionNamesTheProgram) {
  TempDir dir;
  const RunResult version = mkprob(dir, {"--version"});
  EXPECT_EQ(version.status, 0);
  EXPECT_TRUE(std::regex_match(version.out, std::regex("mkprob [0-9]+\\.[0-9]+\\.[0-9]+\n"))) << version.out;
}

TEST(MkprobHelpTest, OtherArgumentsKeepTheirMeaning) {
  TempDir dir;
  for (const char* near : {"--HELP", "-help", "--version=1", "-v"}) {
    const RunResult outcome = mkprob(dir, {near});
    EXPECT_EQ(outcome.status, 1) << near;
    EXPECT_EQ(outcome.out, kUsage) << near;
  }
  EXPECT_TRUE(dir.entries().empty());
  // Two arguments always generate, whatever the first one's text.
  const RunResult generated = mkprob(dir, {"--help", "0.1"});
  EXPECT_EQ(generated.status, 0);
  EXPECT_EQ(generated.out, "");
  EXPECT_EQ(testing_support::read_file(dir / "--help.txt"), "0\n0.100000\n\n");
}

TEST(MkprobHelpTest, UnwritableStandardOutputFails) {
  TempDir dir;
  for (const char* request : {"--help", "--version"})
    EXPECT_EQ(mkprob(dir, {request}, [] { ::dup2(::open("/dev/full", O_WRONLY), STDOUT_FILENO); }).status, 1)
        << request;
}

using StepDraws = mkprob_test::CountingDraws;
using mkprob_test::StringOut;

class Recorder : public itsolv::Progress {
 public:
  void advance(std::uint64_t done, std::uint64_t total) override { reports.emplace_back(done, total); }
  void finish() override {}
  std::vector<std::pair<std::uint64_t, std::uint64_t>> reports;
};

TEST(WriteProgressTest, CountsEveryByteAndReportsEachMebibyte) {
  const std::int32_t n = 1500;  // about 6.5 MB
  StringOut plain, counted;
  StepDraws plain_draws, counted_draws;
  mkprob::write_problem(n, 0.001f, plain_draws, plain);
  Recorder recorder;
  mkprob::ProgressOut out(counted, &recorder, mkprob::expected_size(n, 0.001f));
  mkprob::write_problem(n, 0.001f, counted_draws, out);

  EXPECT_TRUE(counted.text() == plain.text());
  ASSERT_GE(recorder.reports.size() + 1, plain.text().size() >> 20);  // one a mebibyte, give or take the last
  ASSERT_LE(recorder.reports.size(), plain.text().size() >> 20);
  std::uint64_t last = 0;
  for (const auto& [done, total] : recorder.reports) {
    EXPECT_GE(done, last + (std::uint64_t{1} << 20));
    EXPECT_GE(total, done);
    last = done;
  }
  EXPECT_LE(last, plain.text().size());
  EXPECT_NEAR(static_cast<double>(mkprob::expected_size(n, 0.001f)), static_cast<double>(plain.text().size()),
              static_cast<double>(plain.text().size()) * 0.005);
}

TEST(WriteProgressTest, ExpectedSizeOfAnEmptyProblemIsExact) {
  EXPECT_EQ(mkprob::expected_size(0, 0.1f), std::string("0\n0.100000\n\n").size());
  EXPECT_EQ(mkprob::expected_size(-7, 2.0f), std::string("-7\n2.000000\n\n").size());
}

}  // namespace

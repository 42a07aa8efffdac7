// The counting of written bytes that mkprob's progress line shows.

#include "generator/write_progress.hpp"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <span>
#include <string>
#include <utility>
#include <vector>

#include "fakes.hpp"
#include "generator/problem_writer.hpp"
#include "support/progress_log.hpp"

namespace {

using StepDraws = mkprob_test::CountingDraws;
using mkprob_test::StringOut;

TEST(WriteProgressTest, CountsEveryByteAndReportsEachMebibyte) {
  const int32_t n = 1500;  // about 6.5 MB
  StringOut plain, counted;
  StepDraws plain_draws, counted_draws;
  mkprob::write_problem(n, 0.001f, plain_draws, plain);
  testing_support::ProgressLog recorder;
  mkprob::ProgressOut out(counted, &recorder, mkprob::expected_size(n, 0.001f));
  mkprob::write_problem(n, 0.001f, counted_draws, out);

  EXPECT_TRUE(counted.text() == plain.text());
  ASSERT_GE(recorder.reports.size() + 1, plain.text().size() >> 20);  // one a mebibyte, give or take the last
  ASSERT_LE(recorder.reports.size(), plain.text().size() >> 20);
  uint64_t last = 0;
  for (const auto& [done, total] : recorder.reports) {
    EXPECT_GE(done, last + (uint64_t{1} << 20));
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

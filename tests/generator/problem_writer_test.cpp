// Formatting of problem files and their buffered output, checked against
// the plain C library formatting of the same numbers.

#include "generator/problem_writer.hpp"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <span>
#include <string>
#include <vector>

#include "fakes.hpp"
#include "support/plain_generator.hpp"
#include "support/temp_files.hpp"
#include "generator/chunk_writer.hpp"

namespace {

using mkprob_test::CountingDraws;
using mkprob_test::StringOut;

std::string reference_problem(std::int32_t numvar, float error) {
  CountingDraws draws;
  return testing_support::plain_problem(numvar, error, [&] { return draws.next(); });
}

TEST(ProblemWriterTest, FormatsLikeTheCLibrary) {
  const float kInfinity = mkprob::parse_error("1e39");
  for (const std::int32_t numvar : {-7, 0, 1, 2, 3, 31, 4200}) {
    for (const float error : {0.0001f, 0.0f, 3.4e38f, -1.5f, kInfinity,
                              -kInfinity, mkprob::parse_error("nan")}) {
      CountingDraws draws;
      StringOut out;
      mkprob::write_problem(numvar, error, draws, out);
      ASSERT_EQ(out.text(), reference_problem(numvar, error))
          << "numvar " << numvar << ", error " << error;
      if (numvar > 40) break;  // the tolerance line is the same for all sizes
    }
  }
}

TEST(ProblemArgsTest, ReadsLikeAtoiAndAtof) {
  EXPECT_EQ(mkprob::parse_numvar("  07x"), 7);
  EXPECT_EQ(mkprob::parse_numvar("-12"), -12);
  EXPECT_EQ(mkprob::parse_numvar("x1"), 0);
  EXPECT_EQ(mkprob::parse_numvar("4294967297"), 1);  // wraps to 32 bits
  EXPECT_EQ(mkprob::parse_numvar("99999999999999999999"), -1);
  EXPECT_EQ(mkprob::diagonal_value(21474837), -2147483596);
  EXPECT_EQ(mkprob::parse_error("1e-4"), 0.0001f);
  EXPECT_EQ(mkprob::parse_error("err"), 0.0f);
}

// What a ChunkWriter with small chunks puts in a file.
std::string through_chunk_writer(std::int32_t numvar, std::size_t chunk_size) {
  testing_support::TempDir dir;
  const std::string path = dir / "out";
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT, 0600);
  {
    CountingDraws draws;
    mkprob::ChunkWriter out(fd, chunk_size);
    mkprob::write_problem(numvar, 0.5f, draws, out);
    EXPECT_TRUE(out.finish());
  }
  ::close(fd);
  return testing_support::read_file(path);
}

TEST(ChunkWriterTest, WritesEveryChunkInOrder) {
  EXPECT_EQ(through_chunk_writer(300, 64 << 10), reference_problem(300, 0.5f));
  EXPECT_EQ(through_chunk_writer(3, 64 << 10), reference_problem(3, 0.5f));
}

TEST(ChunkWriterTest, ReportsAFailedWriteAndStopsTheProducer) {
  for (const std::int32_t numvar : {2, 3000}) {  // one chunk, many chunks
    const int fd = ::open("/dev/full", O_WRONLY);
    ASSERT_GE(fd, 0);
    CountingDraws draws;
    mkprob::ChunkWriter out(fd, 64 << 10);
    mkprob::write_problem(numvar, 0.5f, draws, out);
    EXPECT_FALSE(out.finish());
    EXPECT_FALSE(out.good());
    if (numvar > 2) {
      EXPECT_LT(draws.drawn(), 3000u * 3001u);  // stopped early
    }
    ::close(fd);
  }
}

}  // namespace

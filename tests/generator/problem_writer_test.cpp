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
#include <type_traits>
#include <vector>

#include "fakes.hpp"
#include "generator/chunk_writer.hpp"
#include "support/plain_generator.hpp"
#include "support/preconditions.hpp"
#include "support/temp_files.hpp"

namespace {

using mkprob_test::CountingDraws;
using mkprob_test::StringOut;

template <class Draws = CountingDraws>
std::string reference_problem(int32_t numvar, float error, Draws draws = {}) {
  return testing_support::plain_problem(numvar, error, [&] { return draws.next(); });
}

TEST(ProblemWriterTest, FormatsLikeTheCLibrary) {
  const float kInfinity = mkprob::parse_error("1e39");
  for (const int32_t numvar : {-7, 0, 1, 2, 3, 31, 4200}) {
    for (const float error : {0.0001f, 0.0f, 3.4e38f, -1.5f, kInfinity, -kInfinity, mkprob::parse_error("nan")}) {
      CountingDraws draws;
      StringOut out;
      mkprob::write_problem(numvar, error, draws, out);
      ASSERT_EQ(out.text(), reference_problem(numvar, error)) << "numvar " << numvar << ", error " << error;
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

// The reproduced generator's draws, offered for rows made in parallel.
class GeneratorSource {
 public:
  const mkprob::GlibcRandom* untouched_start() const { return drawn_ == 0 ? &start_ : nullptr; }
  int32_t next() { return ++drawn_, draws_.next(); }
  std::span<const int32_t> take(size_t max) {
    const auto batch = draws_.take(max);
    drawn_ += batch.size();
    return batch;
  }
  uint64_t drawn() const { return drawn_; }

 private:
  mkprob::GlibcRandom start_;
  mkprob::detail::GeneratorDraws draws_{start_};
  uint64_t drawn_ = 0;
};

// What a ChunkWriter with small chunks puts in a file.
template <class Draws = CountingDraws>
std::string through_chunk_writer(int32_t numvar, size_t chunk_size, const mkprob::Parallel& parallel = {}) {
  testing_support::TempDir dir;
  const std::string path = dir / "out";
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT, 0600);
  {
    Draws draws;
    mkprob::ChunkWriter out(fd, chunk_size);
    mkprob::write_problem(numvar, 0.5f, draws, out, parallel);
    EXPECT_TRUE(out.finish());
    if constexpr (std::is_same_v<Draws, GeneratorSource>) {
      EXPECT_EQ(draws.drawn(), 0u) << "the rows were not made in parallel";
    }
  }
  ::close(fd);
  return testing_support::read_file(path);
}

// Every chunk in order, from one thread; then rows drawn and formatted on
// several threads, in batches from one row to a chunk, with more threads
// than the writer has chunks too: the same text as one thread drawing in
// order.
TEST(ChunkWriterTest, WritesEveryChunkInOrderRowsMadeInParallelToo) {
  EXPECT_EQ(through_chunk_writer(300, 64 << 10), reference_problem(300, 0.5f));
  EXPECT_EQ(through_chunk_writer(3, 64 << 10), reference_problem(3, 0.5f));
  for (const int32_t numvar : {1, 2, 7, 300, 2500}) {
    const std::string expected = reference_problem(numvar, 0.5f, mkprob::GlibcRandom());
    for (const mkprob::Parallel parallel : {mkprob::Parallel{2, 1}, mkprob::Parallel{3, 40000}, mkprob::Parallel{9, 1}})
      ASSERT_EQ(through_chunk_writer<GeneratorSource>(numvar, 16 << 10, parallel), expected)
          << numvar << " variables, " << parallel.threads << " threads";
  }
}

// Advancing the generator k draws leaves it where k draws would.
TEST(GlibcRandomTest, AdvancingEqualsDrawing) {
  for (const uint64_t k : {0ull, 1ull, 30ull, 31ull, 65535ull, 65536ull, 1000003ull, 40000000ull}) {
    mkprob::GlibcRandom drawn, advanced;
    std::vector<int32_t> skipped(1 << 16);
    for (uint64_t left = k; left > 0; left -= std::min<uint64_t>(left, skipped.size()))
      drawn.fill(skipped.data(), std::min<uint64_t>(left, skipped.size()));
    advanced.advance(k);
    for (int i = 0; i < 64; ++i) ASSERT_EQ(advanced.next(), drawn.next()) << "k " << k << ", draw " << i;
  }
}

template <class Draws>
void fails_on_a_full_device() {
  for (const int32_t numvar : {2, 3000}) {  // one chunk, many chunks
    const int fd = ::open("/dev/full", O_WRONLY);
    ASSERT_GE(fd, 0);
    Draws draws;
    mkprob::ChunkWriter out(fd, 64 << 10);
    mkprob::write_problem(numvar, 0.5f, draws, out, mkprob::Parallel{2, 4096});
    EXPECT_FALSE(out.finish());
    EXPECT_FALSE(out.good());
    if (numvar > 2) {
      EXPECT_LT(draws.drawn(), 3000u * 3001u);  // stopped early
    }
    ::close(fd);
  }
}

TEST(ChunkWriterTest, ReportsAFailedWriteAndStopsTheProducer) {
  SKIP_WITHOUT(testing_support::without_full_device());
  fails_on_a_full_device<CountingDraws>();
  fails_on_a_full_device<GeneratorSource>();  // rows made in parallel
}

}  // namespace

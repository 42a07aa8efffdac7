// Formatting of problem files and their buffered output, checked against
// the plain C library formatting of the same numbers, and the counting of
// written bytes that mkprob's progress line shows.
#include "generator/problem_writer.hpp"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <span>
#include <string>
#include <type_traits>
#include <vector>

#include "generator/chunk_writer.hpp"
#include "generator/write_progress.hpp"
#include "support/plain_generator.hpp"
#include "support/preconditions.hpp"
#include "support/progress_log.hpp"
#include "support/temp_files.hpp"

namespace {

using namespace testing_support;

// Draws 0, 7919, 2 * 7919, ... modulo 2^31: every remainder occurs. They
// come in small, uneven batches.
class CountingDraws {
 public:
  int32_t next() { return static_cast<int32_t>((n_++ * 7919u) & 0x7fffffffu); }
  uint32_t drawn() const { return n_; }
  std::span<const int32_t> take(size_t max) {
    batch_.resize(std::min<size_t>(max, 1 + n_ % 37));
    for (auto& draw : batch_) draw = next();
    return batch_;
  }

 private:
  uint32_t n_ = 0;
  std::vector<int32_t> batch_;
};

// Output into a string.
class StringOut {
 public:
  char* reserve(size_t n) {
    text_.resize(size_ + n);
    return text_.data() + size_;
  }
  void commit(char* end) { size_ = static_cast<size_t>(end - text_.data()); }
  bool good() const { return true; }
  std::string text() const { return text_.substr(0, size_); }

 private:
  std::string text_;
  size_t size_ = 0;
};

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

template <class Draws = CountingDraws>
std::string reference_problem(int32_t numvar, float error, Draws draws = {}) {
  return plain_problem(numvar, error, [&] { return draws.next(); });
}

// What write_problem puts into `out`, drawing with CountingDraws.
template <class Out>
void write_counting(int32_t numvar, float error, Out& out) {
  CountingDraws draws;
  mkprob::write_problem(numvar, error, draws, out);
}

std::string written(int32_t numvar, float error) {
  StringOut out;
  write_counting(numvar, error, out);
  return out.text();
}

TEST(ProblemWriterTest, FormatsLikeTheCLibrary) {
  const float kInfinity = mkprob::parse_error("1e39");
  for (const int32_t numvar : {-7, 0, 1, 2, 3, 31, 4200})
    for (const float error : {0.0001f, 0.0f, 3.4e38f, -1.5f, kInfinity, -kInfinity, mkprob::parse_error("nan")}) {
      ASSERT_EQ(written(numvar, error), reference_problem(numvar, error)) << "numvar " << numvar << ", error " << error;
      if (numvar > 40) break;  // the tolerance line is the same for all sizes
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
template <class Draws = CountingDraws>
std::string through_chunk_writer(int32_t numvar, size_t chunk_size, const mkprob::Parallel& parallel = {}) {
  TempDir dir;
  const int fd = ::open((dir / "out").c_str(), O_WRONLY | O_CREAT, 0600);
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
  return read_file(dir / "out");
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

// On one chunk or many, from one thread or rows made in parallel.
template <class Draws>
void fails_on_a_full_device() {
  for (const int32_t numvar : {2, 3000}) {
    const int fd = ::open("/dev/full", O_WRONLY);
    ASSERT_GE(fd, 0);
    Draws draws;
    mkprob::ChunkWriter out(fd, 64 << 10);
    mkprob::write_problem(numvar, 0.5f, draws, out, mkprob::Parallel{2, 4096});
    EXPECT_FALSE(out.finish());
    EXPECT_FALSE(out.good());
    EXPECT_TRUE(numvar == 2 || draws.drawn() < 3000u * 3001u) << "not stopped early";
    ::close(fd);
  }
}

TEST(ChunkWriterTest, ReportsAFailedWriteAndStopsTheProducer) {
  SKIP_WITHOUT(without_full_device());
  fails_on_a_full_device<CountingDraws>();
  fails_on_a_full_device<GeneratorSource>();
}

TEST(WriteProgressTest, CountsEveryByteAndReportsEachMebibyte) {
  const int32_t n = 1500;  // about 6.5 MB
  ProgressLog recorder;
  StringOut counted;
  mkprob::ProgressOut out(counted, &recorder, mkprob::expected_size(n, 0.001f));
  write_counting(n, 0.001f, out);
  const std::string plain = written(n, 0.001f);
  EXPECT_TRUE(counted.text() == plain);
  ASSERT_GE(recorder.reports.size() + 1, plain.size() >> 20);  // one a mebibyte, give or take the last
  ASSERT_LE(recorder.reports.size(), plain.size() >> 20);
  uint64_t last = 0;
  for (const auto& [done, total] : recorder.reports) {
    EXPECT_GE(done, last + (uint64_t{1} << 20));
    EXPECT_GE(total, done);
    last = done;
  }
  EXPECT_LE(last, plain.size());
  EXPECT_NEAR(static_cast<double>(mkprob::expected_size(n, 0.001f)), static_cast<double>(plain.size()),
              static_cast<double>(plain.size()) * 0.005);
  // Of an empty problem, exact.
  EXPECT_EQ(mkprob::expected_size(0, 0.1f), std::string("0\n0.100000\n\n").size());
  EXPECT_EQ(mkprob::expected_size(-7, 2.0f), std::string("-7\n2.000000\n\n").size());
}

}  // namespace

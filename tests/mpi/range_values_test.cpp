// A process's range read a chunk at a time: the ranges of a file, read in
// chunks of any size, hold every token and line feed after the tolerance
// once, with the values the loader reads, in file order, and read the same
// bytes where they meet. Runs of a file placed one after another, from text
// or from compact values, widen what earlier runs placed.
#include "range_values.hpp"

#include <fcntl.h>
#include <gtest/gtest.h>

#include "base/row_range.hpp"
#include "load/file_reader.hpp"
#include "load/load_steps.hpp"
#include "load/text_run.hpp"
#include "load/value_sources.hpp"
#include "mpi/same_output.hpp"
#include "support/load_values.hpp"

namespace {

// Two ranges agree where they meet: the end seam of the one before is the
// start seam of the one after, or, when that one lies inside one token, it
// is longer.
void expect_seams_meet(const itsolv::Seam& end, const itsolv::Seam& start) {
  if (end.bytes == 0) return;  // the range before lies inside one token
  if (start.open) {
    EXPECT_GT(end.bytes, start.bytes);
  } else {
    EXPECT_EQ(end.bytes, start.bytes);
    EXPECT_EQ(end.hash, start.hash);
  }
}

TEST(RangeValues, RangesInChunksOfAnySizeHoldEveryTokenOnce) {
  // A problem in a few ranges, and a small one in more ranges than bytes:
  // ranges of one byte, inside a token, and empty.
  const mpi_test::Laid big = mpi_test::lay_out(mpi_test::mixed_values(40, 3), 5);
  const mpi_test::Laid small = mpi_test::lay_out(mpi_test::mixed_values(2, 3), 7);
  const struct {
    const mpi_test::Laid& laid;
    std::vector<uint64_t> ranges;
  } layouts[] = {{big, {1, 2, 3, 7}}, {small, {small.text.size()}}};
  itsolv::Workers workers(2);
  for (const auto& [laid, range_counts] : layouts) {
    const testing_support::TempFile file(laid.text);
    const itsolv::FileHandle fd(open(file.path(), O_RDONLY | O_CLOEXEC));
    const uint64_t size = laid.text.size(), header = laid.text.find_first_of(" \t\r\n", laid.starts[1]);
    std::vector<float> want;
    for (size_t t = 2; t < laid.starts.size(); ++t) {
      const std::string token =
          laid.text.substr(laid.starts[t], laid.text.find_first_of(" \t\r\n", laid.starts[t]) - laid.starts[t]) +
          std::string(64, ' ');
      itsolv::Token value;
      ASSERT_NE(itsolv::read_token(token.c_str(), value), nullptr) << token;
      want.push_back(value.value);
    }
    for (const size_t part_bytes : {size_t{1}, size_t{5}, size_t{64}, size_t{1} << 18})
      for (const uint64_t ranges : range_counts) {
        SCOPED_TRACE(testing::Message() << ranges << " ranges, parts of " << part_bytes << " bytes");
        itsolv::LoadOptions options;
        options.part_bytes = part_bytes;
        std::vector<float> got;
        int64_t tokens = 0, newlines = 0;
        itsolv::Seam end;
        for (uint64_t k = 0; k < ranges; ++k) {
          const uint64_t left = size - header;
          const itsolv_mpi::RangeValues r =
              itsolv_mpi::read_range_values(fd.fd(), file.path(), header + itsolv::split_point(left, ranges, k),
                                            header + itsolv::split_point(left, ranges, k + 1), size, workers, options);
          ASSERT_FALSE(r.failure) << *r.failure;
          EXPECT_EQ(r.bad, -1);
          if (k > 0) expect_seams_meet(end, r.start);
          end = r.end;
          for (const itsolv::CompactValues& part : r.parts) itsolv::copy_values(part, 0, part.count, got);
          tokens += r.tokens;
          newlines += r.newlines;
          if (k + 1 == ranges) {
            EXPECT_EQ(r.last_byte, laid.text.back());
          }
        }
        EXPECT_EQ(tokens, static_cast<int64_t>(want.size()));
        EXPECT_EQ(newlines, std::count(laid.text.begin() + static_cast<ptrdiff_t>(header), laid.text.end(), '\n'));
        EXPECT_EQ(got, want);
      }
  }
}

// Row 64 starts the second panel. Its first values are placed in one run,
// and values later in the row, in a run that ends inside the row, widen the
// storage: the row's values placed before must be widened with it. Runs of
// text and runs of compact values (a byte each and the wide ones aside, or
// all floats when the wide ones are many) place through the same step.
TEST(RunsPlaced, WideningKeepsARowBegunInAnEarlierRun) {
  const struct {
    float wide;
    int32_t columns;  // how many, from column 40 on
    itsolv::Storage storage;
  } cases[] = {{1000.0f, 1, itsolv::Storage::i16}, {0.5f, 1, itsolv::Storage::f32}, {300.0f, 8, itsolv::Storage::i16}};
  for (const auto& c : cases)
    for (const bool compact : {false, true}) {
      SCOPED_TRACE(testing::Message() << c.wide << " in " << c.columns << (compact ? ", compact" : ", text"));
      mpi_test::Values v = testing_support::random_values(70, mpi_test::Kind::small_integers, 64);
      for (int32_t col = 40; col < 40 + c.columns; ++col) v.at(64, col) = c.wide;
      mpi_test::Laid laid = mpi_test::lay_out(v, 1);
      laid.text += std::string(64, ' ');  // the blanks a reader leaves after its bytes
      const int64_t total = static_cast<int64_t>(laid.starts.size());
      const int64_t cuts[] = {2, itsolv::row_token(70, 64, 10), itsolv::row_token(70, 64, 50), total};
      itsolv::Problem p;
      p.num = v.num;
      p.err = v.err;
      itsolv::allocate(p, {});
      for (size_t k = 0; k + 1 < std::size(cuts); ++k) {
        const char* const begin = laid.text.data() + laid.starts[static_cast<size_t>(cuts[k])];
        const char* const end = cuts[k + 1] == total ? laid.text.data() + laid.text.size() - 64
                                                     : laid.text.data() + laid.starts[static_cast<size_t>(cuts[k + 1])];
        if (compact) {
          itsolv::CompactValues values;
          const char *bad_begin = nullptr, *bad_end = nullptr;
          ASSERT_EQ(itsolv::read_compact(begin, cuts[k + 1] - cuts[k], itsolv::best_isa(), values, bad_begin, bad_end),
                    -1);
          itsolv::place_compact(p, {&values, 1}, cuts[k], total);
        } else {
          EXPECT_EQ(itsolv::TextRun(begin, end, testing_support::team(2), 64).place(p, cuts[k], total).bad, -1);
        }
      }
      EXPECT_EQ(p.a.storage(), c.storage);
      EXPECT_TRUE(holds(p, v));
    }
}

}  // namespace

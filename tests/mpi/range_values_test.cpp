// A process's range read a chunk at a time: the ranges of a file, read in
// chunks of any size, hold every token and line feed after the tolerance
// once, with the values the loader reads, in file order, and read the same
// bytes where they meet.
#include "range_values.hpp"

#include <fcntl.h>
#include <gtest/gtest.h>

#include "load/file_reader.hpp"
#include "load/value_placement.hpp"
#include "matrix/row_range.hpp"
#include "mpi/same_output.hpp"

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
      want.push_back(0.0f);
      ASSERT_NE(itsolv::read_number(token.c_str(), want.back()), nullptr) << token;
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
          for (const itsolv_mpi::CompactValues& part : r.parts) itsolv_mpi::copy_values(part, 0, part.count, got);
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

}  // namespace

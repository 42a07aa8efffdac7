// A process's range read a chunk at a time: the ranges of a file, read in
// chunks of any size, hold every token and line feed after the tolerance
// once, with the values the loader reads, in file order.
#include "range_values.hpp"

#include <fcntl.h>
#include <gtest/gtest.h>

#include "load/file_reader.hpp"
#include "mpi/same_output.hpp"
#include "load/value_placement.hpp"

namespace {

TEST(RangeValues, RangesInChunksOfAnySizeHoldEveryTokenOnce) {
  const mpi_test::Laid laid = mpi_test::lay_out(mpi_test::mixed_values(40, 3), 5);
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
  itsolv::Workers workers(2);
  for (const size_t part_bytes : {size_t{1}, size_t{5}, size_t{64}, size_t{1} << 18})
    for (const uint64_t ranges : {1, 2, 3, 7}) {
      SCOPED_TRACE(testing::Message() << ranges << " ranges, parts of " << part_bytes << " bytes");
      itsolv::LoadOptions options;
      options.part_bytes = part_bytes;
      std::vector<float> got;
      int64_t tokens = 0, newlines = 0;
      for (uint64_t k = 0; k < ranges; ++k) {
        const uint64_t left = size - header;
        const itsolv_mpi::RangeValues r = itsolv_mpi::read_range_values(
            fd.fd(), file.path(), header + left * k / ranges, header + left * (k + 1) / ranges, size, workers, options);
        ASSERT_FALSE(r.failure) << *r.failure;
        EXPECT_EQ(r.bad, -1);
        for (const itsolv_mpi::CompactValues& part : r.parts) itsolv_mpi::copy_values(part, 0, part.count, got);
        tokens += r.tokens;
        newlines += r.newlines;
      }
      EXPECT_EQ(tokens, static_cast<int64_t>(want.size()));
      EXPECT_EQ(newlines, std::count(laid.text.begin() + static_cast<ptrdiff_t>(header), laid.text.end(), '\n'));
      EXPECT_EQ(got, want);
    }
}

}  // namespace

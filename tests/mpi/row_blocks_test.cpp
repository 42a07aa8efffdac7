// The rows that the gathering after each sweep expects from a process must
// be exactly the rows its loader kept. (How the blocks' pre-checks join is
// tested program to program, in same_output_test.cpp.)
#include "row_blocks.hpp"

#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "load/loader.hpp"
#include "support/problem_values.hpp"
#include "support/temp_files.hpp"

TEST(BlockLayout, IsTheRowsTheLoaderKeepsForEachBlock) {
  itsolv::Workers workers(1);
  for (int32_t n : {0, 1, 2, 5, 67}) {
    const testing_support::TempFile file(
        testing_support::problem_text(testing_support::random_values(n, testing_support::Kind::small_integers, 7)));
    const std::string path = file.path();
    for (int blocks : {1, 2, 3, 4}) {
      const itsolv_mpi::BlockLayout layout = itsolv_mpi::block_layout(n, blocks);
      int next = 0;
      for (int k = 0; k < blocks; ++k) {
        itsolv::Problem p;
        itsolv::LoadOptions options;
        options.block = k;
        options.blocks = blocks;
        itsolv::get_input(p, path.c_str(), workers, options);
        const size_t at = static_cast<size_t>(k);
        EXPECT_EQ(layout.displs[at], p.a.first_row()) << n << " rows, block " << k << " of " << blocks;
        EXPECT_EQ(layout.counts[at], p.a.rows()) << n << " rows, block " << k << " of " << blocks;
        EXPECT_EQ(layout.displs[at], next);
        next = layout.displs[at] + layout.counts[at];
      }
      EXPECT_EQ(next, n);
    }
  }
}

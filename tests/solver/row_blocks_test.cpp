// A state that holds a block of rows only: the loader keeps just those rows'
// coefficients, the rows that itsolv-mpi gathers from each block after a
// sweep, and blocks swept separately and joined after each sweep give the
// bits of the whole solver.
#include "mpi/row_blocks.hpp"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include "base/failure.hpp"
#include "load/loader.hpp"
#include "solve/precheck.hpp"
#include "solve/report.hpp"
#include "solve/solve.hpp"
#include "solve/sweeps.hpp"
#include "support/literal_solver.hpp"
#include "support/load_values.hpp"
#include "support/problem_texts.hpp"
#include "support/temp_files.hpp"

using testing_support::Kind;
using testing_support::Values;

namespace {

// Solves with the rows split into `blocks` states, as separate processes
// would, joining the new values after every sweep.
std::string solve_in_blocks(const std::string& path, int blocks) {
  itsolv::Workers workers(1);
  itsolv::Team ctx{workers};
  std::vector<std::unique_ptr<itsolv::Problem>> parts;
  try {
    for (int k = 0; k < blocks; ++k) {
      auto p = std::make_unique<itsolv::Problem>();
      itsolv::LoadOptions options;
      options.block = k;
      options.blocks = blocks;
      itsolv::get_input(*p, path.c_str(), workers, options);
      EXPECT_EQ(p->a.first_row(), static_cast<int32_t>(int64_t{p->num} * k / blocks));
      EXPECT_EQ(p->a.row_end(), static_cast<int32_t>(int64_t{p->num} * (k + 1) / blocks));
      const itsolv_mpi::BlockLayout layout = itsolv_mpi::block_layout(p->num, blocks);
      EXPECT_TRUE(layout.displs[k] == p->a.first_row() && layout.counts[k] == p->a.rows()) << k << " of " << blocks;
      parts.push_back(std::move(p));
    }
    // The pre-check, joined as itsolv-mpi joins its processes' checks.
    std::vector<itsolv::RowCheck> checks;
    for (auto& p : parts) checks.push_back(itsolv::check_rows(*p, ctx));
    itsolv::fail_check(itsolv_mpi::join_checks(checks));
    // Block 0 drives the sweeps; after each, the other blocks sweep their
    // rows from the same estimate and hand their new values over.
    itsolv::Problem& first = *parts[0];
    const int64_t sweeps = itsolv::iterate(first, ctx, [&](itsolv::Problem& p) {
      for (size_t k = 1; k < parts.size(); ++k) {
        itsolv::Problem& other = *parts[k];
        std::memcpy(other.curr.data(), p.curr.data(), static_cast<size_t>(p.num) * sizeof(float));
        itsolv::sweep_rows(other, ctx);
        std::memcpy(p.x.data() + other.a.first_row(), other.x.data() + other.a.first_row(),
                    static_cast<size_t>(other.a.rows()) * sizeof(float));
      }
    });
    return itsolv::format_report(first, sweeps);
  } catch (const itsolv::Failure& f) {
    return f.message;
  }
}

}  // namespace

TEST(RowBlocks, LoaderKeepsOnlyItsRows) {
  const Values v = testing_support::random_values(150, Kind::wide_integers, 31);
  const testing_support::TempFile file(testing_support::problem_text(v));
  itsolv::LoadOptions options;
  options.part_bytes = 2048;
  options.block = 1;
  options.blocks = 3;
  itsolv::Problem p;
  ASSERT_EQ(load_message(p, file.path(), 2, options), "");
  EXPECT_TRUE(p.a.first_row() == 50 && p.a.rows() == 50) << p.a.first_row() << " " << p.a.rows();
  EXPECT_TRUE(holds(p, v));  // in the rows it keeps
}

TEST(RowBlocks, BlocksJoinedAfterEachSweepGiveTheWholeResult) {
  for (int32_t n : {0, 1, 2, 5, 64, 67, 100, 131}) {
    const Values v = testing_support::random_values(n, Kind::small_integers, 40 + n);
    const testing_support::TempFile file(testing_support::problem_text(v));
    const literal::Outcome want = literal::solve(v.num, v.err, v.a, v.b, v.x);
    for (int blocks : {1, 2, 3, 4}) EXPECT_EQ(solve_in_blocks(file.path(), blocks), want.out) << n << " in " << blocks;
  }
}

TEST(RowBlocks, PreCheckNamesTheFirstFailingRowOfAnyBlock) {
  Values v = testing_support::random_values(90, Kind::small_integers, 5);
  v.at(40, 40) = 1;  // row 40 fails
  v.at(80, 80) = 1;  // and row 80, in a later block
  const testing_support::TempFile file(testing_support::problem_text(v));
  const std::string path = file.path();
  const std::string whole = literal::solve(v.num, v.err, v.a, v.b, v.x).out;
  ASSERT_EQ(whole.rfind("The matrix will not converge.\naii = 1.000000", 0), 0u);
  for (int blocks : {2, 3}) EXPECT_EQ(solve_in_blocks(path, blocks), whole);
}

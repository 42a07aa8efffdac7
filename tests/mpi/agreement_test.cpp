// The failure agreement, run as one MPI job (of three processes under CTest):
// every process runs the same tests in the same order, so their collective
// calls meet; a failure on any process fails the job.
#include "agreement.hpp"

#include <gtest/gtest.h>
#include <mpi.h>

#include <string>

#include "distributed_solve.hpp"
#include "support/temp_files.hpp"

namespace {

int rank() {
  int r = 0;
  MPI_Comm_rank(MPI_COMM_WORLD, &r);
  return r;
}

int size() {
  int s = 1;
  MPI_Comm_size(MPI_COMM_WORLD, &s);
  return s;
}

}  // namespace

TEST(Agreement, NothingWhenNoProcessFailed) {
  EXPECT_FALSE(itsolv_mpi::agree(MPI_COMM_WORLD, std::nullopt).has_value());
  EXPECT_FALSE(itsolv_mpi::any_failed(MPI_COMM_WORLD, false));
}

TEST(Agreement, ProcessZeroGetsTheMessageOfTheLowestFailingProcess) {
  if (size() < 3) GTEST_SKIP() << "needs three processes";
  // Processes 1 and 2 fail, 0 does not: 1's message is printed.
  const itsolv_mpi::StepFailure mine =
      rank() == 0 ? itsolv_mpi::StepFailure() : itsolv_mpi::StepFailure("failed on " + std::to_string(rank()) + "\n");
  const itsolv_mpi::StepFailure agreed = itsolv_mpi::agree(MPI_COMM_WORLD, mine);
  ASSERT_TRUE(agreed.has_value());
  if (rank() == 0) {
    EXPECT_EQ(*agreed, "failed on 1\n");
  }
  // When every process fails, process 0 keeps its own message.
  const itsolv_mpi::StepFailure all = itsolv_mpi::agree(MPI_COMM_WORLD, "failed on " + std::to_string(rank()) + "\n");
  ASSERT_TRUE(all.has_value());
  if (rank() == 0) {
    EXPECT_EQ(*all, "failed on 0\n");
  }
  EXPECT_EQ(itsolv_mpi::any_failed(MPI_COMM_WORLD, rank() == size() - 1), true);
}

TEST(Agreement, AFileOnlyTheLastProcessCannotOpenEndsTheRunEverywhere) {
  if (size() < 2) GTEST_SKIP() << "needs two processes";
  // The same good problem for all but the last process, which is given a
  // path that does not exist.
  const testing_support::TempFile good_file("2\n0.001\n0 0\n200 37 3\n64 200 5\n");
  const std::string good = good_file.path();
  const std::string missing = "/nonexistent/itsolv-mpi-agreement-test";
  itsolv::Workers workers(1);
  itsolv::Team ctx{workers};
  const itsolv::Outcome outcome =
      itsolv_mpi::solve_file((rank() == size() - 1 ? missing : good).c_str(), MPI_COMM_WORLD, ctx);
  EXPECT_EQ(outcome.status, 1);
  if (rank() == 0) {
    EXPECT_EQ(outcome.text, "Cannot open file " + missing + "\n");
  }
  // And with the good file everywhere, the report.
  const itsolv::Outcome solved = itsolv_mpi::solve_file(good.c_str(), MPI_COMM_WORLD, ctx);
  EXPECT_EQ(solved.status, 0);
  if (rank() == 0) {
    EXPECT_EQ(solved.text, "0.011029\n0.021472\ntotal number of iterations: 7\n");
  }
}

int main(int argc, char** argv) {
  MPI_Init(&argc, &argv);
  testing::InitGoogleTest(&argc, argv);
  const int failed = RUN_ALL_TESTS();
  MPI_Finalize();
  return failed;
}

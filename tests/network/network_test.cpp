// itsolv-mpi over a real network: one process on each of two or three hosts
// (network namespaces joined through a bridge), against itsolv on the same
// file; a host cut off in the middle of a run; a host whose copy of the file
// differs.
#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <thread>

#include "network/test_hosts.hpp"

namespace network_test {
namespace {

using Clock = std::chrono::steady_clock;

std::string run_mkprob(const testing_support::TempDir& dir, int n, const char* tolerance) {
  testing_support::RunOptions options;
  options.directory = dir.path();
  testing_support::run_program(MKPROB_PATH, {std::to_string(n), tolerance}, options);
  return testing_support::read_file(dir / (std::to_string(n) + ".txt"));
}

// itsolv-mpi with 2 and 3 processes, one a host, prints what itsolv prints.
void expect_same(const TestHosts& hosts, const std::string& name, const std::string& file) {
  const RunResult want = testing_support::run_program(ITSOLV_PATH, {file});
  for (int processes : {2, 3}) {
    const RunResult got = hosts.mpirun(processes, {ITSOLV_MPI_PATH, file});
    EXPECT_EQ(got.out, want.out) << name << ", " << processes << " hosts; standard error:\n" << got.err;
    EXPECT_EQ(got.status, want.status) << name << ", " << processes << " hosts, " << got.how();
  }
}

TEST(Network, TwoAndThreeHostsPrintWhatItsolvPrints) {
  TestHosts hosts(3);
  if (!hosts.skip_reason().empty()) GTEST_SKIP() << hosts.skip_reason();
  testing_support::TempDir made;
  const mpi_test::Laid laid = mpi_test::lay_out(mpi_test::mixed_values(41, 7), 7);
  const std::string generated = run_mkprob(made, 500, "0.0001");
  const std::string rows = "3\n0.001\n0 0 0\n4 1 1 1\n1 4 1 1\n";  // and row 3:
  const std::pair<const char*, std::string> problems[] = {
      {"mkprob 500", generated},
      {"mkprob 37", run_mkprob(made, 37, "0.000001")},
      {"laid out across the cuts", laid.text},
      {"bad token in the last row", mpi_test::spoil_last_row(generated)},
      {"row 3 not dominant", rows + "1 1 1 1\n"},
      {"ends in row 3", rows + "1 1"},
  };
  for (const auto& [name, text] : problems) {
    const std::string file = hosts.shared("problem.txt", text);
    expect_same(hosts, name, file);
  }
  expect_same(hosts, "no such file", hosts.shared("x", "") + ".missing");
}

// A run that sweeps for minutes: the coupling of 1 - 2^-23 takes millions
// of sweeps to converge.
const std::string kSlow = "2\n0\n0 0\n1 -0.99999988 1\n-0.99999988 1 1\n";

TEST(Network, LinkTakenDownMidRunEndsTheJobWithinTheBound) {
  TestHosts hosts(2);
  if (!hosts.skip_reason().empty()) GTEST_SKIP() << hosts.skip_reason();
  const std::string file = hosts.shared("slow.txt", kSlow);
  const int bound = 3;
  auto job = std::async(std::launch::async, [&] {
    return hosts.mpirun(2, {ITSOLV_MPI_PATH, "--wait", std::to_string(bound), file}, 120);
  });
  // Sweeping: process 1 has had half a second of processor time.
  for (int k = 0; k < 600 && hosts.busy_seconds(2, "itsolv-mpi") < 0.5; ++k)
    ASSERT_EQ(job.wait_for(std::chrono::milliseconds(50)), std::future_status::timeout) << job.get().out;
  hosts.link(2, false);
  const Clock::time_point cut = Clock::now();
  const RunResult run = job.get();
  const double after = std::chrono::duration<double>(Clock::now() - cut).count();
  std::printf("the job ended %.1f s after node2's link went down (bound %d s)\n", after, bound);
  EXPECT_EQ(run.out, "itsolv-mpi: no answer from process 1 on node2 for " + std::to_string(bound) + " s\n") << run.err;
  EXPECT_EQ(run.status, 1) << run.how();
  // mpirun then gives up on the lost daemon after TCP's retries (hosts.sh).
  EXPECT_LT(after, bound + 25.0);
}

// A host whose copy differs from the others' in its head (the count or the
// tolerance) refuses the file instead of solving another problem.
TEST(Network, DifferingHeadsAreRefused) {
  TestHosts hosts(3);
  if (!hosts.skip_reason().empty()) GTEST_SKIP() << hosts.skip_reason();
  const std::string text = "3\n0.001\n0 0 0\n4 1 1 1\n1 4 1 1\n1 1 4 1\n";
  struct Case {
    const char* host;
    std::string copy;
    int processes;
  };
  const Case cases[] = {
      {"node2", "3\n0.002\n0 0 0\n4 1 1 1\n1 4 1 1\n1 1 4 1\n", 2},
      {"node3", "2\n0.001\n0 0 0\n4 1 1 1\n1 4 1 1\n1 1 4 1\n", 3},
  };
  for (const Case& c : cases) {
    const std::string file = hosts.shared(std::string(c.host) + ".txt", text);
    hosts.own(c.host, std::string(c.host) + ".txt", c.copy);
    const RunResult run = hosts.mpirun(c.processes, {ITSOLV_MPI_PATH, file});
    EXPECT_EQ(run.status, 1) << c.host << ", " << run.how();
    EXPECT_EQ(run.out.rfind("Cannot read file " + file + ": ", 0), 0u) << c.host << ": " << run.out;
    EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), 1) << c.host << ": " << run.out;
  }
}

}  // namespace
}  // namespace network_test

// itsolv-mpi over a real network: one process on each of two or three hosts
// against itsolv on the same file; a host cut off in the middle of a run; a
// host whose copy of the file differs. The hosts are a head and nodes node1,
// node2 ..., each a network namespace with a host name of its own, joined by
// veth links through a bridge (hosts.sh makes them); mpirun runs on the head
// and starts its daemons on the nodes through Open MPI's rsh launcher with
// host.sh as its agent, over TCP on those links alone.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <future>
#include <sstream>
#include <string>
#include <vector>

#include "mpi/same_output.hpp"
#include "support/preconditions.hpp"
#include "support/run_program.hpp"
#include "support/temp_files.hpp"

namespace network_test {
namespace {

using namespace testing_support;

class TestHosts {
 public:
  // Makes `nodes` nodes (and the head), after removing the namespaces left
  // by a run that was killed; skip_reason() tells why not when this machine
  // cannot.
  explicit TestHosts(int nodes) {
    if (::geteuid() != 0) {
      skip_ = "network namespaces need root";
    } else if (shell("command -v ip && command -v unshare").status != 0) {
      skip_ = "no ip or unshare command";
    } else {
      shell(script() + " sweep " + kPrefix);
      std::filesystem::create_directory(dir_ / "shared");
      const RunResult up = shell(script() + " up " + dir_.path() + " " + name_ + " " + std::to_string(nodes));
      if (up.status != 0) skip_ = "cannot make network namespaces: " + up.err;
    }
  }
  ~TestHosts() { shell(script() + " down " + name_); }
  TestHosts(const TestHosts&) = delete;
  TestHosts& operator=(const TestHosts&) = delete;

  const std::string& skip_reason() const { return skip_; }

  // A file at the same path on every host; `own` writes host's own copy.
  std::string shared(const std::string& name, const std::string& text) const {
    return dir_.write("shared/" + name, text);
  }
  void own(const std::string& host, const std::string& name, const std::string& text) const {
    std::filesystem::create_directory(dir_ / host);
    dir_.write(host + "/" + name, text);
  }

  // mpirun on the head with one process on each of node1 ... nodeK, its
  // output into files: a daemon left on a host that was cut off must not
  // hold the test's pipes open.
  RunResult mpirun(int processes, const std::vector<std::string>& args, double timeout_seconds = 30) const {
    std::string command = MPIEXEC_PATH " --allow-run-as-root --hostfile " + dir_ / "hostfile" + " -np " +
                          std::to_string(processes) + " --mca plm_rsh_agent " + agent() +
                          " --mca plm_rsh_no_tree_spawn 1 --mca odls_base_sigkill_timeout 0 --mca btl tcp,self" +
                          " --mca btl_tcp_if_include " + kSubnet + " --mca oob_tcp_if_include " + kSubnet;
    for (const std::string& a : args) command += " " + mpi_test::shell_word(a);
    command += " >" + dir_ / "out" + " 2>" + dir_ / "err";
    RunResult run =
        shell("ITSOLV_NET_DIR=" + dir_.path() + " exec " + agent() + " head " + mpi_test::shell_word(command),
              timeout_seconds);
    run.out = read_file(dir_ / "out");
    run.err += read_file(dir_ / "err");
    return run;
  }

  // Takes node K's link to the bridge down.
  void cut(int node) const { shell("ip -n " + name_ + "-s link set p" + std::to_string(node) + " down"); }

  // The processor time (user and system) that the processes of node K
  // called `command` have taken so far, in seconds.
  double busy_seconds(int node, const std::string& command) const {
    long ticks = 0;
    std::istringstream pids(shell("ip netns pids " + name_ + "-" + std::to_string(node)).out);
    for (std::string pid; pids >> pid;) {
      std::ifstream stat("/proc/" + pid + "/stat");
      std::string field, fields[15];
      for (int k = 0; k < 15 && stat >> field; ++k) fields[k] = field;
      if (fields[1] == "(" + command + ")") ticks += std::stol(fields[13]) + std::stol(fields[14]);
    }
    return static_cast<double>(ticks) / static_cast<double>(::sysconf(_SC_CLK_TCK));
  }

 private:
  static constexpr const char* kPrefix = "itsolvnet";
  static constexpr const char* kSubnet = "10.89.0.0/24";

  static std::string script() { return NETWORK_SCRIPTS "/hosts.sh"; }
  static std::string agent() { return NETWORK_SCRIPTS "/host.sh"; }
  static RunResult shell(const std::string& script, double timeout_seconds = 30) {
    RunOptions options;
    options.timeout_seconds = timeout_seconds;
    return run_program("/bin/sh", {"-c", script}, options);
  }

  TempDir dir_;
  std::string name_ = std::string(kPrefix) + "-" + std::to_string(::getpid());
  std::string skip_;
};

std::string run_mkprob(const TempDir& dir, int n, const char* tolerance) {
  RunOptions options;
  options.directory = dir.path();
  run_program(MKPROB_PATH, {std::to_string(n), tolerance}, options);
  return read_file(dir / (std::to_string(n) + ".txt"));
}

// itsolv-mpi with 2 and 3 processes, one a host, prints what itsolv prints.
TEST(Network, TwoAndThreeHostsPrintWhatItsolvPrints) {
  TestHosts hosts(3);
  SKIP_WITHOUT(hosts.skip_reason());
  TempDir made;
  const std::string generated = run_mkprob(made, 500, "0.0001");
  const std::string rows = "3\n0.001\n0 0 0\n4 1 1 1\n1 4 1 1\n";  // and row 3:
  const std::pair<const char*, std::string> problems[] = {
      {"mkprob 500", generated},
      {"mkprob 37", run_mkprob(made, 37, "0.000001")},
      {"laid out across the cuts", mpi_test::lay_out(mpi_test::mixed_values(41, 7), 7).text},
      {"bad token in the last row", mpi_test::spoil_last_row(generated)},
      {"row 3 not dominant", rows + "1 1 1 1\n"},
      {"ends in row 3", rows + "1 1"},
      {"no such file", ""},  // empty: a path where there is no file
  };
  for (const auto& [name, text] : problems) {
    const std::string file = text.empty() ? hosts.shared("x", "") + ".missing" : hosts.shared("problem.txt", text);
    const RunResult want = run_program(ITSOLV_PATH, {file});
    for (int processes : {2, 3}) {
      const RunResult got = hosts.mpirun(processes, {ITSOLV_MPI_PATH, file});
      EXPECT_EQ(got.out, want.out) << name << ", " << processes << " hosts; standard error:\n" << got.err;
      EXPECT_EQ(got.status, want.status) << name << ", " << processes << " hosts, " << got.how();
    }
  }
}

// Cut off while it sweeps (the coupling of 1 - 2^-23 takes millions of
// sweeps to converge), node2 is given up within the bound --wait sets.
TEST(Network, LinkTakenDownMidRunEndsTheJobWithinTheBound) {
  TestHosts hosts(2);
  SKIP_WITHOUT(hosts.skip_reason());
  const std::string file = hosts.shared("slow.txt", "2\n0\n0 0\n1 -0.99999988 1\n-0.99999988 1 1\n");
  const int bound = 3;
  auto job = std::async(std::launch::async, [&] {
    return hosts.mpirun(2, {ITSOLV_MPI_PATH, "--wait", std::to_string(bound), file}, 120);
  });
  // Sweeping: process 1 has had half a second of processor time.
  for (int k = 0; k < 600 && hosts.busy_seconds(2, "itsolv-mpi") < 0.5; ++k)
    ASSERT_EQ(job.wait_for(std::chrono::milliseconds(50)), std::future_status::timeout) << job.get().out;
  hosts.cut(2);
  const auto cut = std::chrono::steady_clock::now();
  const RunResult run = job.get();
  const double after = std::chrono::duration<double>(std::chrono::steady_clock::now() - cut).count();
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
  SKIP_WITHOUT(hosts.skip_reason());
  const std::string rows = "0 0 0\n4 1 1 1\n1 4 1 1\n1 1 4 1\n";
  const struct {
    const char* host;
    std::string head;
    int processes;
  } cases[] = {{"node2", "3\n0.002\n", 2}, {"node3", "2\n0.001\n", 3}};
  for (const auto& c : cases) {
    const std::string file = hosts.shared(std::string(c.host) + ".txt", "3\n0.001\n" + rows);
    hosts.own(c.host, std::string(c.host) + ".txt", c.head + rows);
    const RunResult run = hosts.mpirun(c.processes, {ITSOLV_MPI_PATH, file});
    EXPECT_EQ(run.status, 1) << c.host << ", " << run.how();
    EXPECT_TRUE(run.out.starts_with("Cannot read file " + file + ": ")) << c.host << ": " << run.out;
    EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), 1) << c.host << ": " << run.out;
  }
}

}  // namespace
}  // namespace network_test

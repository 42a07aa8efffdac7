// Test hosts for running itsolv-mpi over a real network: a head and nodes
// node1, node2 ..., each a network namespace with a host name of its own,
// joined by veth links through a bridge (hosts.sh makes them), and mpirun
// run on the head, starting its daemons on the nodes through Open MPI's rsh
// launcher with host.sh as its agent, over TCP on those links alone.
#pragma once

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "mpi/same_output.hpp"
#include "support/run_program.hpp"
#include "support/temp_files.hpp"

namespace network_test {

using testing_support::RunResult;

class TestHosts {
 public:
  // Makes `nodes` nodes (and the head); skip_reason() tells why not when
  // this machine cannot. Namespaces left by a run that was killed are
  // removed first.
  explicit TestHosts(int nodes) {
    if (::geteuid() != 0) {
      skip_ = "network namespaces need root";
      return;
    }
    if (shell("command -v ip && command -v unshare").status != 0) {
      skip_ = "no ip or unshare command";
      return;
    }
    shell(script() + " sweep " + kPrefix);
    std::filesystem::create_directory(dir_ / "shared");
    const RunResult up = shell(script() + " up " + dir_.path() + " " + name_ + " " + std::to_string(nodes));
    if (up.status != 0) skip_ = "cannot make network namespaces: " + up.err;
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

  // mpirun on the head with one process on each of node1 ... nodeK; its
  // standard output and error in `out` and `err`.
  RunResult mpirun(int processes, const std::vector<std::string>& args, double timeout_seconds = 30) const {
    std::string command = MPIEXEC_PATH " --allow-run-as-root --hostfile " + dir_ / "hostfile" + " -np " +
                          std::to_string(processes) + " --mca plm_rsh_agent " + agent() +
                          " --mca plm_rsh_no_tree_spawn 1 --mca odls_base_sigkill_timeout 0 --mca btl tcp,self" +
                          " --mca btl_tcp_if_include " + kSubnet + " --mca oob_tcp_if_include " + kSubnet;
    for (const std::string& a : args) command += " " + mpi_test::shell_word(a);
    // Into files: a daemon left on a host that was cut off must not hold
    // the test's pipes open.
    command += " >" + dir_ / "out" + " 2>" + dir_ / "err";
    RunResult run = on("head", command, timeout_seconds);
    run.out = testing_support::read_file(dir_ / "out");
    run.err += testing_support::read_file(dir_ / "err");
    return run;
  }

  // Takes node K's link to the bridge down or up.
  void link(int node, bool up) const {
    shell("ip -n " + name_ + "-s link set p" + std::to_string(node) + (up ? " up" : " down"));
  }

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
    testing_support::RunOptions options;
    options.timeout_seconds = timeout_seconds;
    return testing_support::run_program("/bin/sh", {"-c", script}, options);
  }

  // Runs a shell command on `host`, as the launcher does.
  RunResult on(const std::string& host, const std::string& command, double timeout_seconds) const {
    return shell(
        "ITSOLV_NET_DIR=" + dir_.path() + " exec " + agent() + " " + host + " " + mpi_test::shell_word(command),
        timeout_seconds);
  }

  testing_support::TempDir dir_;
  std::string name_ = std::string(kPrefix) + "-" + std::to_string(::getpid());
  std::string skip_;
};

}  // namespace network_test

// Usage: the program takes exactly one argument, or --monitor and one.
#include "cli/cli_support.hpp"

namespace cli {
namespace {

using Usage = CliTest;

// --monitor is an option only as the first of two arguments; alone, or as
// the file of --monitor, it is a path like any other, as is an empty
// argument. Any other count of arguments prints the usage, even when they
// are good files or --help and --version; only their exact forms alone are
// requests, and a file of such a name is still a file when its path says so.
TEST_F(Usage, OneFileOrMonitorAndOneFileElseTheUsage) {
  const std::string p = write("p.txt", "1 0.001 0 4 2\n"), usage = "Usage: itsolv filename\n";
  const struct {
    std::vector<std::string> args;
    std::string out;
  } cases[] = {
      {{}, usage},
      {{p, p}, usage},
      {{"a", "b", "c"}, usage},
      {{p, "--monitor"}, usage},
      {{"--monitor", p, p}, usage},
      {{"--monitor", "--monitor", p}, usage},
      {{"--Monitor", p}, usage},
      {{"--monitor"}, "Cannot open file --monitor\n"},
      {{"--monitor", "--monitor"}, "Cannot open file --monitor\n"},
      {{""}, "Cannot open file \n"},
      {{"--help", "extra"}, usage},
      {{"--version", "--help"}, usage},
  };
  for (const auto& c : cases) {
    std::string shown_args;
    for (const std::string& arg : c.args) shown_args += "'" + arg + "' ";
    EXPECT_TRUE(printed(itsolv(c.args), c.out, 1)) << shown_args;
  }
  for (const char* near : {"--HELP", "-help", "--version=1", "-v"})
    EXPECT_TRUE(printed(itsolv({near}), std::string("Cannot open file ") + near + "\n", 1)) << near;
  write("--help", "1 0.001 0 4 2\n");
  EXPECT_TRUE(printed(itsolv({dir() + "/--help"}), "0.500000\ntotal number of iterations: 2\n", 0));
}

}  // namespace
}  // namespace cli

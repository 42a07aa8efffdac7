// Usage: the program takes exactly one argument, or --monitor and one.
#include "cli/cli_support.hpp"

namespace cli {
namespace {

using Usage = CliTest;

// --monitor is an option only as the first of two arguments; alone, or as
// the file of --monitor, it is a path like any other, as is an empty
// argument. Any other count of arguments prints the usage, even when they
// are good files.
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
  };
  for (const auto& c : cases) {
    std::string shown_args;
    for (const std::string& arg : c.args) shown_args += "'" + arg + "' ";
    EXPECT_TRUE(printed(itsolv(c.args), c.out, 1)) << shown_args;
  }
}

}  // namespace
}  // namespace cli

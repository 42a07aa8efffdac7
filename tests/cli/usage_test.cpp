// Usage: the program takes exactly one argument, or --monitor and one.
#include "cli/cli_support.hpp"

namespace cli {
namespace {

using Usage = CliTest;

const char kUsage[] = "Usage: itsolv filename\n";

TEST_F(Usage, NoArgumentPrintsUsage) { EXPECT_TRUE(printed(itsolv({}), kUsage, 1)); }

TEST_F(Usage, TwoArgumentsPrintUsageEvenWhenBothAreGoodFiles) {
  const std::string p = write("p.txt", "1 0.001 0 4 2\n");
  EXPECT_TRUE(printed(itsolv({p, p}), kUsage, 1));
}

TEST_F(Usage, ThreeArgumentsPrintUsage) { EXPECT_TRUE(printed(itsolv({"a", "b", "c"}), kUsage, 1)); }

TEST_F(Usage, EmptyArgumentIsOnePathThatCannotBeOpened) {
  EXPECT_TRUE(printed(itsolv({""}), "Cannot open file \n", 1));
}

TEST_F(Usage, MonitorIsAnOptionOnlyAsTheFirstOfTwoArguments) {
  const std::string p = write("p.txt", "1 0.001 0 4 2\n");
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
           {p, "--monitor"}, {"--monitor", p, p}, {"--monitor", "--monitor", p}, {"--Monitor", p}})
    EXPECT_TRUE(printed(itsolv(args), kUsage, 1)) << args[0] << " " << args[1];
  // Alone, or as the file of --monitor, it is a path like any other.
  EXPECT_TRUE(printed(itsolv({"--monitor"}), "Cannot open file --monitor\n", 1));
  EXPECT_TRUE(printed(itsolv({"--monitor", "--monitor"}), "Cannot open file --monitor\n", 1));
}

TEST_F(Usage, OneGoodArgumentSolves) {
  const std::string p = write("p.txt", "1 0.001 0 4 2\n");
  EXPECT_TRUE(printed(itsolv({p}), "0.500000\ntotal number of iterations: 2\n", 0));
}

}  // namespace
}  // namespace cli

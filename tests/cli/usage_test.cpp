// Usage: the program takes exactly one argument.
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

TEST_F(Usage, OneGoodArgumentSolves) {
  const std::string p = write("p.txt", "1 0.001 0 4 2\n");
  EXPECT_TRUE(printed(itsolv({p}), "0.500000\ntotal number of iterations: 2\n", 0));
}

}  // namespace
}  // namespace cli

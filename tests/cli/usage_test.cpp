// Usage: itsolv takes exactly one argument, or --monitor and one; both
// programs answer help and version on request.
#include <sys/stat.h>
#include <unistd.h>

#include <regex>

#include "cli/cli_support.hpp"

namespace cli {
namespace {

using Usage = CliTest;
using HelpAndVersion = CliTest;

// --monitor is an option only as the first of two arguments; alone, or as
// the file of --monitor, it is a path like any other, as is an empty
// argument. Any other count of arguments prints the usage, even when they
// are good files or --help and --version; only their exact forms alone are
// requests, and a file of such a name is still a file when its path says so.
// Missing files, directories and (unless root) a file nobody may read
// cannot be opened; the path is printed as it is, never used as a format.
TEST_F(Usage, OneFileOrMonitorAndOneFileElseTheUsageOrCannotOpen) {
  const std::string p = write("p.txt", "1 0.001 0 4 2\n"), usage = "Usage: itsolv filename\n";
  std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{}, usage},
      {{p, p}, usage},
      {{"a", "b", "c"}, usage},
      {{p, "--monitor"}, usage},
      {{"--monitor", p, p}, usage},
      {{"--monitor", "--monitor", p}, usage},
      {{"--Monitor", p}, usage},
      {{"--help", "extra"}, usage},
      {{"--version", "--help"}, usage},
      {{"--monitor"}, "Cannot open file --monitor\n"},
      {{"--monitor", "--monitor"}, "Cannot open file --monitor\n"},
      {{""}, "Cannot open file \n"},
      {{"--HELP"}, "Cannot open file --HELP\n"},
      {{"-help"}, "Cannot open file -help\n"},
      {{"--version=1"}, "Cannot open file --version=1\n"},
      {{"-v"}, "Cannot open file -v\n"},
  };
  std::vector<std::string> unopenable{
      dir() + "/missing.txt", "no/such/dir/p.txt", dir() + "/%s%n%d %x\\n", dir(), dir() + "/", "."};
  if (::geteuid() != 0) {  // for root, permissions do not stop reading
    unopenable.push_back(write("locked.txt", "1 0.001 0 4 2\n"));
    EXPECT_EQ(::chmod(unopenable.back().c_str(), 0), 0);
  }
  for (const std::string& path : unopenable) cases.push_back({{path}, "Cannot open file " + path + "\n"});
  for (const auto& [args, out] : cases) {
    std::string shown_args;
    for (const std::string& arg : args) shown_args += "'" + arg + "' ";
    EXPECT_TRUE(printed(itsolv(args), out, 1)) << shown_args;
  }
  write("--help", "1 0.001 0 4 2\n");
  EXPECT_TRUE(printed(itsolv({dir() + "/--help"}), "0.500000\ntotal number of iterations: 2\n", 0));
}

// Help (under both its names) and version go to standard output, which
// must take them; the run, in an empty directory, writes no file.
TEST_F(HelpAndVersion, AnsweredOnStandardOutputThatMustTakeThem) {
  SKIP_WITHOUT(without_full_device());
  const struct {
    const char* name;
    std::string path;
    std::vector<const char*> help_parts;
  } programs[] = {{"itsolv", ITSOLV_PATH, {"Usage: itsolv FILE", "tolerance", "A[i][0] ... A[i][n-1] b[i]"}},
                  {"mkprob", MKPROB_PATH, {"Usage: mkprob N TOL", "N.txt", "100*N"}}};
  for (const auto& program : programs) {
    SCOPED_TRACE(program.name);
    const auto request = [&](const char* arg, const char* stdout_path = "") {
      RunOptions options;
      options.directory = dir();
      options.stdout_path = stdout_path;
      return run_program(program.path, {arg}, options);
    };
    const RunResult help = request("--help"), version = request("--version");
    EXPECT_TRUE(help.exited && help.status == 0 && help.err.empty()) << help;
    for (const char* part : program.help_parts) EXPECT_NE(help.out.find(part), std::string::npos) << part;
    EXPECT_TRUE(printed(request("-h"), help.out, 0));
    EXPECT_TRUE(version.exited && version.status == 0 && version.err.empty()) << version;
    EXPECT_TRUE(std::regex_match(version.out, std::regex(std::string(program.name) + " [0-9]+\\.[0-9]+\\.[0-9]+\n")))
        << version.out;
    for (const char* arg : {"--help", "--version"}) {
      const RunResult run = request(arg, "/dev/full");
      EXPECT_TRUE(run.exited && run.status == 1) << arg << ": " << run.how();
      EXPECT_NE(run.err.find("cannot write to standard output"), std::string::npos) << arg << run.err;
    }
  }
  EXPECT_TRUE(std::filesystem::is_empty(dir()));
}

}  // namespace
}  // namespace cli

// The mkprob program end to end, each run in a fresh directory: its
// messages and exit statuses, the files it writes, and how it replaces them.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "support/kill_at_calls.hpp"
#include "support/plain_generator.hpp"
#include "support/preconditions.hpp"
#include "support/run_program.hpp"
#include "support/temp_files.hpp"

namespace {

using testing_support::read_file;
using testing_support::RunResult;
using testing_support::TempDir;

// Runs mkprob in `dir`, or in options.directory when that is set.
RunResult mkprob(const TempDir& dir, std::vector<std::string> args, const std::function<void()>& setup = {},
                 testing_support::RunOptions options = {}) {
  if (options.directory.empty()) options.directory = dir.path();
  if (setup) options.in_child = setup;
  return testing_support::run_program(MKPROB_PATH, args, options);
}

// The generator written the plain way, from the C library's unseeded rand().
std::string reference_file(int numvar, const char* error) {
  std::srand(1);
  return testing_support::plain_problem(numvar, static_cast<float>(std::atof(error)), [] { return std::rand(); });
}

const char kUsage[] =
    "\nCommand line: mkprob num error\n"
    "num: number of variables [positive > 1]\n"
    "err: absolute error [1-0.0001]\n";

// Any count of arguments but two, whatever they say, prints the usage and
// writes nothing.
TEST(MkprobUsageTest, AnyOtherArgumentCountPrintsUsage) {
  for (const auto& args : std::vector<std::vector<std::string>>{
           {}, {"5"}, {"5", "0.1", "x"}, {"--HELP"}, {"-help"}, {"--version=1"}, {"-v"}}) {
    TempDir dir;
    const RunResult outcome = mkprob(dir, args);
    EXPECT_EQ(outcome.status, 1) << args.size();
    EXPECT_EQ(outcome.out, kUsage);
    EXPECT_TRUE(dir.entries().empty());
  }
}

TEST(MkprobUsageTest, UnwritableStandardOutputStillFails) {
  SKIP_WITHOUT(testing_support::without_full_device());
  TempDir dir;
  testing_support::RunOptions full, dead_pipe;  // a pipe nobody reads: no SIGPIPE death
  full.stdout_path = "/dev/full";
  dead_pipe.stdout_closed_pipe = true;
  for (const testing_support::RunOptions& options : {full, dead_pipe}) {
    const RunResult run = mkprob(dir, {}, {}, options);
    EXPECT_EQ(run.status, 1) << options.stdout_path;
    EXPECT_NE(run.err.find("mkprob: cannot write to standard output"), std::string::npos) << run.err;
  }
}

// Two arguments always generate: the file is named by the first as typed,
// holds the count atoi reads from it and the tolerance narrowed to float
// with six decimals, and otherwise what the plain generator writes.
TEST(MkprobFileTest, FileNamedAsTypedHoldsThePlainGeneratorsProblem) {
  const std::string long_name = "3" + std::string(200, 'v');
  const struct {
    std::string count, tolerance, file;
  } cases[] = {
      // 1804289383 % 100 - 846930886 % 10: the library's first two draws.
      {"1", "0.0001", "1\n0.000100\n0 \n100 77\n"},
      {"2", "0.0001", reference_file(2, "0.0001")},
      {"3", "0.0001", reference_file(3, "0.0001")},
      {"100", "0.0001", reference_file(100, "0.0001")},
      {"1000", "0.0001", reference_file(1000, "0.0001")},
      {"4500", "0.0001", reference_file(4500, "0.0001")},
      {"07", "1e-4", reference_file(7, "1e-4")},
      {"4294967299", "1e-4", reference_file(3, "1e-4")},
      {long_name, "1e-4", reference_file(3, "1e-4")},
      {"abc", "0.5", "0\n0.500000\n\n"},
      {"--help", "0.1", "0\n0.100000\n\n"},
      {"-4", "0.5", "-4\n0.500000\n\n"},
      {"0", "1e-4", "0\n0.000100\n\n"},
      {"0", "0.0000004", "0\n0.000000\n\n"},
      {"0", "none", "0\n0.000000\n\n"},
      {"0", "16777217", "0\n16777216.000000\n\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.count.substr(0, 10) + " " + c.tolerance);
    TempDir dir;
    const RunResult outcome = mkprob(dir, {c.count, c.tolerance});
    EXPECT_EQ(outcome.status, 0);
    EXPECT_EQ(outcome.out, "");
    EXPECT_EQ(dir.entries(), std::set<std::string>{c.count + ".txt"});
    EXPECT_TRUE(read_file(dir / (c.count + ".txt")) == c.file) << "the file differs";
  }
}

TEST(MkprobFileTest, DiagonalIsHundredTimesTheCount) {
  TempDir dir;
  ASSERT_EQ(mkprob(dir, {"100", "0.001"}).status, 0);
  std::istringstream in(read_file(dir / "100.txt"));
  std::string line;
  for (int i = 0; i < 3; ++i) std::getline(in, line);
  for (int i = 0; std::getline(in, line); ++i) {
    std::istringstream row(line);
    std::vector<int> values{std::istream_iterator<int>(row), {}};
    ASSERT_EQ(values.size(), 101u);
    for (int j = 0; j < 100; ++j) {
      if (j == i)
        EXPECT_EQ(values[j], 10000);
      else
        EXPECT_TRUE(values[j] >= 1 && values[j] <= 99);
    }
    EXPECT_TRUE(values[100] >= -9 && values[100] <= 99);
  }
}

TEST(MkprobReplaceTest, ReplacesAnExistingFileWholeAndRepeatsItself) {
  TempDir dir;
  testing_support::write_file(dir / "20.txt", std::string(100000, 'x'));
  ASSERT_EQ(mkprob(dir, {"20", "0.01"}).status, 0);
  const std::string first = read_file(dir / "20.txt");
  EXPECT_EQ(first, reference_file(20, "0.01"));
  ASSERT_EQ(mkprob(dir, {"20", "0.01"}).status, 0);
  EXPECT_EQ(read_file(dir / "20.txt"), first);
  EXPECT_EQ(dir.entries(), std::set<std::string>{"20.txt"});
}

// A symbolic link is followed to the file it points at; a dangling one
// creates its target.
TEST(MkprobReplaceTest, FollowsASymbolicLinkToTheFile) {
  for (const bool dangling : {false, true}) {
    TempDir dir;
    std::filesystem::create_directory(dir / "data");
    if (!dangling) testing_support::write_file(dir / "data/real", "old");
    std::filesystem::create_symlink("data/real", dir / "5.txt");
    ASSERT_EQ(mkprob(dir, {"5", "0.01"}).status, 0);
    EXPECT_TRUE(std::filesystem::is_symlink(dir / "5.txt"));
    EXPECT_EQ(read_file(dir / "data/real"), reference_file(5, "0.01")) << dangling;
  }
}

// A private file stays private, its set-group-ID and sticky bits stay set
// (for root, its owner too); a new file has the mode the umask allows.
TEST(MkprobReplaceTest, ReplacementKeepsTheModeAndOwnerNewFileTakesTheUmask) {
  TempDir dir;
  const bool root = ::geteuid() == 0;
  for (const mode_t mode : {0600, 03640}) {
    testing_support::write_file(dir / "4.txt", "old");
    ASSERT_EQ(::chmod((dir / "4.txt").c_str(), mode), 0);
    if (root) {
      ASSERT_EQ(::chown((dir / "4.txt").c_str(), 4321, 8765), 0);
    }
    ASSERT_EQ(mkprob(dir, {"4", "0.1"}, [] { ::umask(0); }).status, 0);
    struct stat status;
    ASSERT_EQ(::stat((dir / "4.txt").c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 07777, mode);
    if (root) {
      EXPECT_TRUE(status.st_uid == 4321 && status.st_gid == 8765);
    }
    EXPECT_EQ(read_file(dir / "4.txt"), reference_file(4, "0.1"));
    EXPECT_EQ(dir.entries(), std::set<std::string>{"4.txt"});
  }
  struct stat status;
  ASSERT_EQ(mkprob(dir, {"5", "0.1"}, [] { ::umask(027); }).status, 0);
  ASSERT_EQ(::stat((dir / "5.txt").c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 07777, 0640u);
}

// Every name of a file with hard links shows the new problem.
TEST(MkprobReplaceTest, HardLinkedFileIsWrittenInPlace) {
  TempDir dir;
  testing_support::write_file(dir / "other", std::string(50000, 'x'));
  std::filesystem::create_hard_link(dir / "other", dir / "6.txt");
  ASSERT_EQ(mkprob(dir, {"6", "0.01"}).status, 0);
  EXPECT_EQ(read_file(dir / "other"), reference_file(6, "0.01"));
  EXPECT_TRUE(std::filesystem::equivalent(dir / "other", dir / "6.txt"));
  EXPECT_EQ(dir.entries(), (std::set<std::string>{"6.txt", "other"}));
}

// A writable file in a directory that takes no new names is written in place.
// Run by root, a copy of the program runs as nobody (the build may lie where
// only root can reach it).
TEST(MkprobReplaceTest, WritableFileInALockedDirectoryIsWrittenInPlace) {
  TempDir dir;
  const std::string locked = dir / "locked", file = locked + "/7.txt", program = dir / "mkprob";
  std::filesystem::create_directory(locked);
  testing_support::write_file(file, "old");
  std::filesystem::copy_file(MKPROB_PATH, program);
  for (const auto& [path, mode] : {std::pair{file, 0666}, {locked, 0555}, {dir.path(), 0755}, {program, 0755}})
    ASSERT_EQ(::chmod(path.c_str(), static_cast<mode_t>(mode)), 0) << path;
  testing_support::RunOptions options;
  options.directory = locked;
  options.in_child = [&] {
    const bool stopped_by_permissions = ::geteuid() != 0 || (::setgid(65534) == 0 && ::setuid(65534) == 0);
    if (!stopped_by_permissions || ::access(program.c_str(), X_OK) != 0) ::_exit(98);
  };
  const RunResult run = testing_support::run_program(program, {"7", "0.01"}, options);
  if (run.status == 98) GTEST_SKIP() << "nobody (uid 65534) cannot run " << program;
  EXPECT_EQ(run.status, 0) << run;
  EXPECT_EQ(read_file(file), reference_file(7, "0.01"));
}

// A FIFO, named or reached through a link, is written into, never replaced:
// its reader gets the whole problem.
TEST(MkprobReplaceTest, FifoReaderGetsTheWholeProblem) {
  for (const bool through_link : {false, true}) {
    TempDir dir;
    const std::string fifo = dir / (through_link ? "pipe" : "30.txt");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    if (through_link) std::filesystem::create_symlink("pipe", dir / "30.txt");
    std::string got;
    std::thread reader([&] { got = read_file(fifo); });
    const RunResult outcome = mkprob(dir, {"30", "0.01"});
    reader.join();
    EXPECT_EQ(outcome.status, 0) << through_link;
    EXPECT_EQ(got, reference_file(30, "0.01")) << through_link;
    EXPECT_TRUE(std::filesystem::is_fifo(fifo));
    EXPECT_EQ(dir.entries().size(), through_link ? 2u : 1u);
  }
}

// Killed when it has written the whole problem and goes to name it, mkprob
// leaves no file behind: the file has no name until it is complete.
TEST(MkprobFailureTest, KilledWhileWritingLeavesNoName) {
  TempDir dir;
  const RunResult run = mkprob(dir, {"2000", "0.1"}, [] {
    testing_support::kill_at_calls({SYS_link, SYS_linkat, SYS_rename, SYS_renameat, SYS_renameat2});
  });
  if (run.status == 98) GTEST_SKIP() << "no seccomp filters here";
  EXPECT_EQ(run.signal, SIGSYS) << run;
  EXPECT_TRUE(dir.entries().empty()) << *dir.entries().begin();
}

// A file with one link is left as it was; one with two, written in place,
// is lost, and the failure still said.
TEST(MkprobFailureTest, FailedWriteLeavesTheOldFileAndNoTemporary) {
  for (const bool linked : {false, true}) {
    TempDir dir;
    testing_support::write_file(dir / "300.txt", "old");
    if (linked) std::filesystem::create_hard_link(dir / "300.txt", dir / "other");
    // The file size limit stops the writes part way; SIGXFSZ keeps its
    // default action, which would end the program if it did not ignore it.
    const RunResult outcome = mkprob(dir, {"300", "0.01"}, [] {
      const rlimit limit{64 << 10, 64 << 10};
      ::setrlimit(RLIMIT_FSIZE, &limit);
      ::signal(SIGXFSZ, SIG_DFL);
    });
    EXPECT_EQ(outcome.status, 1);
    EXPECT_EQ(outcome.out, "Cannot write file 300.txt\n");
    if (!linked) {
      EXPECT_EQ(read_file(dir / "300.txt"), "old");
    }
    EXPECT_EQ(dir.entries().size(), linked ? 2u : 1u);
  }
}

TEST(MkprobFailureTest, UncreatableFileIsReportedWithItsName) {
  TempDir dir;
  const std::string hint =
      "Check that the file does not exist and you have permission/space to "
      "create the file\n";
  std::filesystem::create_directory(dir / "6.txt");
  // No such directory, a directory of that name, a name too long.
  for (const std::string& name : {std::string("nodir/5"), std::string("6"), std::string(300, '7')}) {
    const RunResult outcome = mkprob(dir, {name, "0.01"});
    EXPECT_EQ(outcome.status, 1);
    EXPECT_EQ(outcome.out, "Cannot create file " + name + ".txt\n" + hint);
  }
  EXPECT_EQ(dir.entries(), std::set<std::string>{"6.txt"});
}

TEST(MkprobRoundTripTest, SolverAcceptsAndSolvesGeneratedProblems) {
  for (const int numvar : {1, 10, 200}) {
    TempDir dir;
    const std::string name = std::to_string(numvar);
    ASSERT_EQ(mkprob(dir, {name, "0.0001"}).status, 0);
    const RunResult solved = testing_support::run_program(ITSOLV_PATH, {dir / (name + ".txt")});
    EXPECT_EQ(solved.status, 0) << solved.out;
    std::istringstream in(solved.out);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    ASSERT_EQ(lines.size(), static_cast<size_t>(numvar) + 1);
    EXPECT_EQ(lines.back().rfind("total number of iterations: ", 0), 0u);
  }
}

}  // namespace

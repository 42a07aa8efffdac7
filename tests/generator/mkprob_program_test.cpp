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
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "support/kill_at_calls.hpp"
#include "support/plain_generator.hpp"
#include "support/preconditions.hpp"
#include "support/run_program.hpp"
#include "support/temp_files.hpp"

namespace {

using namespace testing_support;
namespace fs = std::filesystem;

// Runs mkprob in `dir`, or in options.directory when that is set.
RunResult mkprob(const TempDir& dir, std::vector<std::string> args, const std::function<void()>& setup = {},
                 RunOptions options = {}) {
  if (options.directory.empty()) options.directory = dir.path();
  if (setup) options.in_child = setup;
  return run_program(MKPROB_PATH, args, options);
}

// The generator written the plain way, from the C library's unseeded rand().
std::string reference_file(int numvar, const char* error) {
  std::srand(1);
  return plain_problem(numvar, static_cast<float>(std::atof(error)), [] { return std::rand(); });
}

// Any count of arguments but two, whatever they say, prints the usage and
// writes nothing; standard output that cannot take it (a full device, a
// pipe nobody reads: no SIGPIPE death) still makes it fail.
TEST(MkprobUsageTest, AnyOtherArgumentCountPrintsUsage) {
  for (const auto& args : std::vector<std::vector<std::string>>{
           {}, {"5"}, {"5", "0.1", "x"}, {"--HELP"}, {"-help"}, {"--version=1"}, {"-v"}}) {
    TempDir dir;
    const RunResult outcome = mkprob(dir, args);
    EXPECT_EQ(outcome.status, 1) << args.size();
    EXPECT_EQ(outcome.out,
              "\nCommand line: mkprob num error\nnum: number of variables [positive > 1]\nerr: absolute error "
              "[1-0.0001]\n");
    EXPECT_TRUE(dir.entries().empty());
  }
  SKIP_WITHOUT(without_full_device());
  RunOptions full, dead_pipe;
  full.stdout_path = "/dev/full";
  dead_pipe.stdout_closed_pipe = true;
  for (const RunOptions& options : {full, dead_pipe}) {
    const RunResult run = mkprob(TempDir(), {}, {}, options);
    EXPECT_EQ(run.status, 1) << options.stdout_path;
    EXPECT_NE(run.err.find("mkprob: cannot write to standard output"), std::string::npos) << run.err;
  }
}

// Two arguments always generate: the file is named by the first as typed,
// holds the count atoi reads from it and the tolerance narrowed to float
// with six decimals, and otherwise what the plain generator writes: a
// diagonal of 100 times the count, off the diagonal 1 to 99, right-hand
// sides -9 to 99; itsolv solves it.
TEST(MkprobFileTest, FileNamedAsTypedHoldsThePlainGeneratorsProblemWhichItsolvSolves) {
  const std::string long_name = "3" + std::string(200, 'v');
  const struct {
    std::string count, tolerance, file;
  } cases[] = {
      // 1804289383 % 100 - 846930886 % 10: the library's first two draws.
      {"1", "0.0001", "1\n0.000100\n0 \n100 77\n"},
      {"2", "0.0001", reference_file(2, "0.0001")},
      {"3", "0.0001", reference_file(3, "0.0001")},
      {"10", "0.0001", reference_file(10, "0.0001")},
      {"100", "0.0001", reference_file(100, "0.0001")},
      {"200", "0.0001", reference_file(200, "0.0001")},
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
    std::istringstream in(c.file);
    std::string skipped;
    int n = 0;
    in >> n >> skipped;                         // the count, then the tolerance
    for (int k = 0; k < n; ++k) in >> skipped;  // the starting values
    for (int i = 0, value = 0; i < std::min(n, 1000); ++i)
      for (int j = 0; j <= n && in >> value; ++j)
        EXPECT_TRUE(j == i   ? value == 100 * n
                    : j == n ? value >= -9 && value <= 99
                             : value >= 1 && value <= 99)
            << "row " << i << ", column " << j << ": " << value;
    if (n < 1 || n > 1000) continue;
    const RunResult solved = run_program(ITSOLV_PATH, {dir / (c.count + ".txt")});
    EXPECT_EQ(solved.status, 0) << solved;
    EXPECT_EQ(std::count(solved.out.begin(), solved.out.end(), '\n'), n + 1) << solved.out;
    EXPECT_EQ(solved.out.compare(solved.out.rfind('\n', solved.out.size() - 2) + 1, 28, "total number of iterations: "),
              0)
        << solved.out;
  }
}

// The name may be taken already: the new problem goes whole into the file
// it names (through a symbolic link, dangling or not; to every name of a
// file with hard links; to the reader of a FIFO, which is written into,
// never replaced), the name keeps its kind, and a second run writes the
// same again.
TEST(MkprobReplaceTest, WhateverTheNameIsTheFileItNamesGetsTheWholeProblem) {
  enum Link { kNone, kSymbolic, kHard };
  const struct {
    const char* name;
    int n;
    std::string target;  // where the problem must go
    size_t old_bytes;    // in the target before the run (a FIFO: 0)
    bool fifo;
    Link link;  // how N.txt reaches the target, when it is not the target
  } cases[] = {
      {"a longer file", 20, "20.txt", 100000, false, kNone},
      {"a symbolic link", 5, "data/real", 3, false, kSymbolic},
      {"a dangling symbolic link", 5, "data/real", 0, false, kSymbolic},
      {"a hard link", 6, "other", 50000, false, kHard},
      {"a FIFO", 30, "30.txt", 0, true, kNone},
      {"a symbolic link to a FIFO", 30, "pipe", 0, true, kSymbolic},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    const std::string name = std::to_string(c.n) + ".txt", target = dir / c.target;
    fs::create_directories(fs::path(target).parent_path());
    ASSERT_TRUE(!c.fifo || ::mkfifo(target.c_str(), 0600) == 0);
    if (c.old_bytes > 0) write_file(target, std::string(c.old_bytes, 'x'));
    if (c.link == kSymbolic) fs::create_symlink(c.target, dir / name);
    if (c.link == kHard) fs::create_hard_link(target, dir / name);
    const fs::file_type kind = fs::symlink_status(dir / name).type();
    for (int run = 0; run < 2; ++run) {
      std::string got;
      std::thread reader([&] { got = c.fifo ? read_file(target) : ""; });
      const RunResult outcome = mkprob(dir, {std::to_string(c.n), "0.01"});
      reader.join();
      EXPECT_EQ(outcome.status, 0) << outcome;
      EXPECT_EQ(c.fifo ? got : read_file(target), reference_file(c.n, "0.01"));
    }
    EXPECT_EQ(fs::symlink_status(dir / name).type(), kind);
    EXPECT_EQ(fs::hard_link_count(target), c.link == kHard ? 2u : 1u);
    EXPECT_EQ(dir.entries(), (std::set<std::string>{name, c.target.substr(0, c.target.find('/'))}));
  }
}

// A private file stays private, its set-group-ID and sticky bits stay set
// (for root, its owner too); a new file has the mode the umask allows.
TEST(MkprobReplaceTest, ReplacementKeepsTheModeAndOwnerNewFileTakesTheUmask) {
  TempDir dir;
  const bool root = ::geteuid() == 0;
  struct stat status;
  for (const mode_t mode : {0600, 03640}) {
    write_file(dir / "4.txt", "old");
    ASSERT_EQ(::chmod((dir / "4.txt").c_str(), mode), 0);
    ASSERT_TRUE(!root || ::chown((dir / "4.txt").c_str(), 4321, 8765) == 0);
    ASSERT_EQ(mkprob(dir, {"4", "0.1"}, [] { ::umask(0); }).status, 0);
    ASSERT_EQ(::stat((dir / "4.txt").c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 07777, mode);
    EXPECT_TRUE(!root || (status.st_uid == 4321 && status.st_gid == 8765));
    EXPECT_EQ(read_file(dir / "4.txt"), reference_file(4, "0.1"));
    EXPECT_EQ(dir.entries(), std::set<std::string>{"4.txt"});
  }
  ASSERT_EQ(mkprob(dir, {"5", "0.1"}, [] { ::umask(027); }).status, 0);
  ASSERT_EQ(::stat((dir / "5.txt").c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 07777, 0640u);
}

// A writable file in a directory that takes no new names is written in place.
// Run by root, a copy of the program runs as nobody (the build may lie where
// only root can reach it).
TEST(MkprobReplaceTest, WritableFileInALockedDirectoryIsWrittenInPlace) {
  TempDir dir;
  const std::string locked = dir / "locked", file = locked + "/7.txt", program = dir / "mkprob";
  fs::create_directory(locked);
  write_file(file, "old");
  fs::copy_file(MKPROB_PATH, program);
  for (const auto& [path, mode] : {std::pair{file, 0666}, {locked, 0555}, {dir.path(), 0755}, {program, 0755}})
    ASSERT_EQ(::chmod(path.c_str(), static_cast<mode_t>(mode)), 0) << path;
  RunOptions options;
  options.directory = locked;
  options.in_child = [&] {
    const bool stopped_by_permissions = ::geteuid() != 0 || (::setgid(65534) == 0 && ::setuid(65534) == 0);
    if (!stopped_by_permissions || ::access(program.c_str(), X_OK) != 0) ::_exit(98);
  };
  const RunResult run = run_program(program, {"7", "0.01"}, options);
  if (run.status == 98) GTEST_SKIP() << "nobody (uid 65534) cannot run " << program;
  EXPECT_EQ(run.status, 0) << run;
  EXPECT_EQ(read_file(file), reference_file(7, "0.01"));
}

// Killed when it has written the whole problem and goes to name it, mkprob
// leaves no file behind: the file has no name until it is complete.
TEST(MkprobFailureTest, KilledWhileWritingLeavesNoName) {
  TempDir dir;
  const RunResult run = mkprob(dir, {"2000", "0.1"}, [] {
    kill_at_calls({SYS_link, SYS_linkat, SYS_rename, SYS_renameat, SYS_renameat2});
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
    write_file(dir / "300.txt", "old");
    if (linked) fs::create_hard_link(dir / "300.txt", dir / "other");
    // The file size limit stops the writes part way; SIGXFSZ keeps its
    // default action, which would end the program if it did not ignore it.
    const RunResult outcome = mkprob(dir, {"300", "0.01"}, [] {
      const rlimit limit{64 << 10, 64 << 10};
      ::setrlimit(RLIMIT_FSIZE, &limit);
      ::signal(SIGXFSZ, SIG_DFL);
    });
    EXPECT_EQ(outcome.status, 1);
    EXPECT_EQ(outcome.out, "Cannot write file 300.txt\n");
    EXPECT_TRUE(linked || read_file(dir / "300.txt") == "old");
    EXPECT_EQ(dir.entries().size(), linked ? 2u : 1u);
  }
}

// No such directory, a directory of that name, a name too long.
TEST(MkprobFailureTest, UncreatableFileIsReportedWithItsName) {
  TempDir dir;
  fs::create_directory(dir / "6.txt");
  for (const std::string& name : {std::string("nodir/5"), std::string("6"), std::string(300, '7')}) {
    const RunResult outcome = mkprob(dir, {name, "0.01"});
    EXPECT_EQ(outcome.status, 1);
    EXPECT_EQ(outcome.out, "Cannot create file " + name +
                               ".txt\nCheck that the file does not exist and you have permission/space to create the "
                               "file\n");
  }
  EXPECT_EQ(dir.entries(), std::set<std::string>{"6.txt"});
}

}  // namespace

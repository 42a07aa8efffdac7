// itsolv-mpi's processes each read a share of the file: every refusal of
// the loader wherever in the file (and so in whichever process's byte
// range) it lies, a file read through a pipe or a FIFO, and the bytes each
// process reads.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <string>
#include <vector>

#include "mpi/same_output.hpp"

namespace {

using namespace mpi_test;

// A token longer than the chunks a process reads at a time, across the cuts
// of two and three processes: read whole by the range it starts in, skipped
// by the others.
const std::string kLongToken = "3 0.01\n0 0 0\n1 2 3 4\n5 " + std::string(1536 << 10, 'x') + " 6 7 8\n9 10 11 12\n";

TEST_F(SameOutput, RefusalsWhereverTheyLie) {
  const Values v = testing_support::random_values(40, Kind::small_integers, 11);
  const Laid laid = lay_out_across_cuts(v);
  // Spoils token t without moving any byte: the cuts stay where they are.
  auto spoil = [&](std::string text, size_t t) {
    text[laid.starts[t]] = 'x';
    return text;
  };
  const size_t last = laid.starts.size() - 1;
  const std::string short_text = laid.text.substr(0, laid.starts[last - 2]);
  struct Case {
    std::string name, text, starts;
    std::string path = {};  // when set, the path given instead of the text's file
  };
  const Case cases[] = {
      {"missing", "", "Cannot open file", dir_ + "/missing.txt"},
      {"directory", "", "Cannot open file", dir_},
      {"empty", "", "The matrix will not converge..."},
      // In the last row, which only the last block keeps.
      {"malformed", "3 0.01 0 0 0  4 1 1 1  1 4 1 1  1 1 4 1.5.2\n", "Cannot read file"},
      {"short", "5 0.01\n0 0 0 0 0\n9 1 1 1 1 1\n", "Cannot read file"},
      {"token longer than a chunk", kLongToken, "Cannot read file"},
      {"huge count", "2000000000 0.01\n0 0\n", "Cannot read file"},
      {"negative count", "-3 0.01\n", "Cannot allocate a!"},
      {"token across the cut of two", spoil(laid.text, token_at(laid, laid.cuts[0])), "Cannot read file"},
      {"token across the first cut of three", spoil(laid.text, token_at(laid, laid.cuts[1])), "Cannot read file"},
      {"token across the second cut of three", spoil(laid.text, token_at(laid, laid.cuts[2])), "Cannot read file"},
      {"token just after a cut", spoil(laid.text, token_at(laid, laid.cuts[0]) + 1), "Cannot read file"},
      {"a starting value", spoil(laid.text, 5), "Cannot read file"},
      {"two bad tokens: the first in file order", spoil(spoil(laid.text, last - 1), token_at(laid, laid.cuts[1]) - 1),
       "Cannot read file"},
      {"ends three tokens early", short_text, "Cannot read file"},
      {"ends early, after a line break", short_text + "\n", "Cannot read file"},
      {"ends early after a bad token", spoil(short_text, last - 4), "Cannot read file"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const RunResult want = expect_same({c.path.empty() ? file("p.txt", c.text) : c.path});
    EXPECT_EQ(want.status, 1);
    EXPECT_EQ(want.out.rfind(c.starts, 0), 0u) << want.out;
  }
}

// Each process given its own copy of the file, as on machines that hold
// copies: copies that differ in size, in the head or where two ranges meet
// are refused, naming the two processes; a process that never answers (it
// waits to open a FIFO) ends the job within the bound, named by the
// lowest-numbered process that waited for it.
TEST_F(SameOutput, CopiesThatDifferAndProcessesThatDoNotAnswer) {
  const Laid laid = lay_out_across_cuts(testing_support::random_values(40, Kind::small_integers, 13));
  const std::string good = file("good.txt", laid.text);
  auto changed = [&](const std::string& name, size_t at) {
    std::string text = laid.text;
    const char c = text[at];
    text[at] = c == '9' ? '8' : std::isdigit(static_cast<unsigned char>(c)) ? '9' : std::isspace(c) ? '7' : ' ';
    return file(name, text);
  };
  const std::string tolerance_end = std::to_string(laid.text.find_first_of(" \t\r\n", laid.starts[1]) - 1);
  const std::string fifo = dir_ + "/fifo";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  char name[256] = {};
  ASSERT_EQ(gethostname(name, sizeof name - 1), 0);
  const std::string host = name;
  auto pair = [&](int a, int b) {
    return "the copies of process " + std::to_string(a) + " on " + host + " and process " + std::to_string(b) + " on " +
           host + " differ in ";
  };
  const std::string refused = "Cannot read file " + good + ": ";
  const size_t size = laid.text.size();
  const struct {
    const char* name;
    int good_processes;
    std::string copy;
    int copy_processes;
    std::string out;
  } cases[] = {
      {"the same bytes", 1, file("same.txt", laid.text), 2, run(ITSOLV_PATH, {good}).out},
      {"a longer copy", 1, file("longer.txt", laid.text + "\n"), 1,
       refused + pair(0, 1) + "size (" + std::to_string(size) + " and " + std::to_string(size + 1) + " bytes)\n"},
      {"another tolerance", 1, changed("head.txt", std::stoul(tolerance_end)), 1,
       refused + pair(0, 1) + "their head (the count and the tolerance)\n"},
      {"at the cut of two", 1, changed("cut.txt", laid.cuts[0] - 1), 1,
       refused + pair(0, 1) + "the bytes from offset " + std::to_string(laid.cuts[0] - 1) +
           ", where their ranges meet\n"},
      {"at the second cut of three", 2, changed("cut3.txt", laid.cuts[2] - 1), 1,
       refused + pair(1, 2) + "the bytes from offset " + std::to_string(laid.cuts[2] - 1) +
           ", where their ranges meet\n"},
      {"the last process stalls", 2, fifo, 1, "itsolv-mpi: no answer from process 2 on " + host + " for 1 s\n"},
      {"process 0 stalls", 0, fifo, 1, "itsolv-mpi: no answer from process 0 on " + host + " for 0.5 s\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::pair<int, std::string>> copies = {{c.good_processes, good}, {c.copy_processes, c.copy}};
    if (c.good_processes == 0) copies = {{c.copy_processes, c.copy}, {2, good}};
    const bool stalls = c.copy == fifo;
    const RunResult got = run_copies(copies, {"--wait", c.good_processes == 0 ? "0.5" : stalls ? "1" : "30"});
    EXPECT_FALSE(got.timed_out);
    EXPECT_EQ(got.out, c.out) << got.err;
    EXPECT_EQ(got.status, c.out.rfind("Cannot", 0) == 0 || stalls ? 1 : 0);
  }
}

// A pipe, a FIFO, /dev/stdin: process 0 reads the file and hands it on,
// or tells where it ends too soon.
TEST_F(SameOutput, FileThatCannotBeReadAtAnOffset) {
  // A new FIFO for every run: a writer left from a run that stopped
  // reading early must not feed the next one.
  int fifos = 0;
  auto through_fifo = [&](const std::string& feed, const std::string& program) {
    const std::string fifo = dir_ + "/fifo" + std::to_string(++fifos);
    EXPECT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    return run(feed + " >" + shell_word(fifo) + " & " + program, {fifo});
  };
  // Open MPI 4.1's mpirun itself now and then crashes while it forwards its
  // standard input to process 0 (in orte_iof_hnp_read_local_handler); such a
  // run is run again.
  auto through_stdin = [&](const std::string& feed, const std::string& program) {
    RunResult r;
    for (int tries = 0; tries < 5; ++tries) {
      r = run(program, {"/dev/stdin"}, feed);
      if (r.err.find("orte_iof_hnp_read_local_handler") == std::string::npos) break;
    }
    return r;
  };
  const std::string mixed = file("mixed.txt", testing_support::problem_text(mixed_values(301, 5)));
  const std::string bad = file("bad.txt", spoil_last_row(testing_support::problem_text(mixed_values(30, 6))));
  // Cut short just after a line feed: the message names the line before it.
  const std::string whole = testing_support::problem_text(mixed_values(30, 7));
  const std::string cut = file("cut.txt", whole.substr(0, whole.find('\n', whole.size() / 2) + 1));
  for (const std::string& path : {mixed, bad, cut}) {
    SCOPED_TRACE(path);
    const std::string feed = "cat " + shell_word(path);
    const RunResult want = through_fifo(feed, ITSOLV_PATH);
    const RunResult from_stdin = run(ITSOLV_PATH, {"/dev/stdin"}, feed);
    for (int processes : {2, 3}) {
      const RunResult got = through_fifo(feed, mpi(processes));
      // A refusal names the FIFO.
      std::string expected = want.out;
      const std::string named = "fifo" + std::to_string(fifos);
      for (size_t at = expected.find("/fifo"); at != std::string::npos; at = expected.find("/fifo", at + 1))
        expected.replace(at + 1, expected.find(':', at) - at - 1, named);
      EXPECT_EQ(got.out, expected) << processes << got.err;
      EXPECT_EQ(got.status, want.status) << processes;
      EXPECT_EQ(through_stdin(feed, mpi(processes)).out, from_stdin.out) << processes;
    }
    EXPECT_EQ(want.status, path == mixed ? 0 : 1) << want.out;
  }
}

// The report is itsolv's, and no process reads much more than its share of
// the file: bytes read (rchar, which counts those of a child once the shell
// has waited for it) beyond what a run on a tiny file reads, at most the
// file's size / K + 10%.
TEST_F(SameOutput, EachProcessReadsItsShare) {
  // Ranges of several chunks, storage widened in the middle one.
  const std::string big = file("big.txt", testing_support::problem_text(mixed_values(1000, 9)));
  expect_same({big});
#if defined(__SANITIZE_ADDRESS__)
  // The sanitizer's runtime reads /proc at exit, more the more memory the
  // process has mapped: its reads are not the program's.
  GTEST_SKIP() << "bytes read are not the program's own under AddressSanitizer";
#endif
  const std::string tiny = file("tiny.txt", "1 0.001 0 4 2\n");
  const double size = static_cast<double>(std::ifstream(big, std::ios::ate | std::ios::binary).tellg());
  auto bytes_read = [&](int processes, const std::string& path) {
    const std::string script = ITSOLV_MPI_PATH " " + shell_word(path) + " >/dev/null; grep rchar /proc/$$/io";
    std::istringstream lines(run(mpirun(processes) + " sh -c", {script}).out);
    std::vector<double> each;
    for (std::string tag; lines >> tag;) each.push_back(0), lines >> each.back();
    return each;
  };
  for (int processes : {2, 3}) {
    const std::vector<double> start_up = bytes_read(processes, tiny), got = bytes_read(processes, big);
    ASSERT_EQ(got.size(), static_cast<size_t>(processes));
    const double most_at_start = *std::max_element(start_up.begin(), start_up.end());
    for (double bytes : got) EXPECT_LE(bytes - most_at_start, size / processes * 1.1) << processes << " processes";
  }
}

}  // namespace

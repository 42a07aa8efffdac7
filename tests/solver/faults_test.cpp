// The loader against a problem file that changes, fails or trickles in while
// it is read: every load ends with the values the file held when read, or
// with one "Cannot read file" line; never a crash or a hang. And against
// matrix memory that the system cannot commit.
//
// Changes are made between chunks by a progress sink, so that each case
// happens at a known point of the reading.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <stdio.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <fstream>
#include <functional>
#include <string>
#include <thread>

#include "base/failure.hpp"
#include "common/progress.hpp"
#include "load/loader.hpp"
#include "support/load_values.hpp"
#include "support/preconditions.hpp"
#include "support/problem_texts.hpp"
#include "support/temp_files.hpp"

using testing_support::Kind;
using testing_support::TempDir;
using testing_support::Values;
using testing_support::write_file;

// The system's madvise as the loader sees it: committing pages ahead
// (MADV_POPULATE_WRITE) fails with populate_error while that is set, as on
// a system out of memory (ENOMEM) or one without that advice (EINVAL).
static std::atomic<int> populate_error{0};
extern "C" int madvise(void* addr, size_t length, int advice) noexcept {
  if (advice == MADV_POPULATE_WRITE && populate_error.load() != 0) {
    errno = populate_error.load();
    return -1;
  }
  return static_cast<int>(syscall(SYS_madvise, addr, length, advice));
}

namespace {

void append_file(const std::string& path, const std::string& text) {
  if (!(std::ofstream(path, std::ios::app | std::ios::binary) << text)) std::abort();
}

// Runs an action, given the bytes read so far, when the loader reports the
// end of its k-th chunk.
struct AtChunk : common::Progress {
  AtChunk(int k, std::function<void(uint64_t)> action) : k(k), action(std::move(action)) {}
  void advance(uint64_t read, uint64_t) override {
    if (++calls == k) action(done = read);
  }
  void finish() override {}
  int k, calls = 0;
  std::function<void(uint64_t)> action;
  uint64_t done = 0;  // bytes read when it acted
};

struct Setting {
  int threads;
  size_t part_bytes;
};
constexpr Setting kSettings[] = {{1, 16}, {2, 16}, {1, 300}, {2, 1000}};

// Loads the file at `path`; the failure's message, or "" when it loads.
std::string load(const std::string& path, Setting s, itsolv::Problem& p, common::Progress* progress = nullptr) {
  itsolv::LoadOptions options;
  options.part_bytes = s.part_bytes;
  options.compact_chunks = 1;
  options.team_bytes = 0;
  return load_message(p, path, s.threads, options, progress);
}

// One line, "Cannot read file PATH: ...".
::testing::AssertionResult cannot_read(const std::string& message, const std::string& path) {
  const std::string head = "Cannot read file " + path + ": ";
  if (message.rfind(head, 0) == 0 && message.find('\n') == message.size() - 1) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "got \"" << message << "\"";
}

Values problem() { return testing_support::random_values(40, Kind::wide_integers, 17); }

// A problem file that an action changes while it is read.
class ChangedFile : public ::testing::Test {
 protected:
  struct Load {
    std::string message;  // the failure's, or "" when it loaded
    bool acted;
    uint64_t done;  // bytes read when it acted
  };
  // Writes `text` to the file and loads it; `action` runs, given the bytes
  // read so far, when the k-th chunk has been read.
  Load load_changed(const std::string& text, Setting s, itsolv::Problem& p, const std::function<void(uint64_t)>& action,
                    int k = 1) {
    write_file(path, text);
    AtChunk at(k, action);
    std::string message = load(path, s, p, &at);
    return {std::move(message), at.calls >= k, at.done};
  }
  void cut_to(uint64_t size) const {
    if (truncate(path.c_str(), static_cast<off_t>(size)) != 0) std::abort();
  }

  TempDir scratch;
  const std::string path = scratch / "problem.txt";
};
using FileShrinks = ChangedFile;

TEST_F(FileShrinks, TruncatedAfterAChunkEndsWithCannotRead) {
  const Values v = problem();
  const std::string text = testing_support::problem_text(v);
  const uint64_t last_end = text.find_last_not_of('\n') + 1;
  const uint64_t last_begin = text.find_last_of(' ', last_end - 1) + 1;
  for (const Setting& s : kSettings)
    for (int k : {1, 2, 7})
      for (int cut = 0; cut < 4; ++cut) {
        SCOPED_TRACE(testing::Message() << s.threads << " threads, parts of " << s.part_bytes << ", chunk " << k
                                        << ", cut " << cut);
        itsolv::Problem p;
        const Load load = load_changed(
            text, s, p,
            [&](uint64_t done) {
              cut_to(std::vector<uint64_t>{0, done / 2, done, last_begin}[cut]);
            },
            k);
        if (load.acted && load.done < last_end)
          EXPECT_TRUE(cannot_read(load.message, path));
        else
          EXPECT_TRUE(load.message.empty() && holds(p, v)) << load.message;
      }
}

// Changes at the first chunk's end, and what the load then ends with: the
// values, or one "Cannot read file" line that says `reason`.
TEST_F(ChangedFile, LoadEndsWithTheValuesReadOrOneLine) {
  const Values v = problem();
  const std::string whole = testing_support::problem_text(v);
  Values v3 = v, v35 = v, v345 = v;
  v3.b.back() = 3.0f;
  v35.b.back() = 35.0f;
  v345.b.back() = 345.0f;
  const std::string text345 = testing_support::problem_text(v345), text3 = testing_support::problem_text(v3);
  const struct {
    const char* name;
    std::string text;
    std::function<void(uint64_t done)> change;
    std::string reason;  // empty: it loads `values`
    const Values* values;
  } cases[] = {
      // The last value cut to its first digit would read as a whole number:
      // the file ending before its size tells that it was cut.
      {"cut inside a last token not yet read", text345, [&](uint64_t) { cut_to(text345.rfind("345") + 1); },
       "the file was cut short while it was read\n", nullptr},
      {"losing only what follows the last line", whole + "words after the problem\n",
       [&](uint64_t) { cut_to(whole.size()); }, "", &v},
      {"renamed over: the open file is read to its end", whole,
       [&](uint64_t) {
         write_file(scratch / "other.txt", "1 0.5 0 4 2\n");
         if (rename((scratch / "other.txt").c_str(), path.c_str()) != 0) std::abort();
       },
       "", &v},
      // Longer than when its size was taken, with a token longer than any
      // buffer so far: the reader reads on past the first size instead of
      // waiting for room it never makes.
      {"rewritten in place with a long token", whole,
       [&](uint64_t done) {
         cut_to(done);
         append_file(path, std::string(100000, 'x'));
       },
       "xxxxxxxxxxxxxxxxxxxx", nullptr},
      // The file ends in "3", with no line feed yet; "5" comes while read.
      {"last token completed", text3.substr(0, text3.size() - 1), [&](uint64_t) { append_file(path, "5\n"); }, "",
       &v35},
  };
  for (const auto& c : cases)
    for (const Setting& s : kSettings) {
      SCOPED_TRACE(testing::Message() << c.name << ", " << s.threads << " threads, parts of " << s.part_bytes);
      itsolv::Problem p;
      const Load load = load_changed(c.text, s, p, c.change);
      EXPECT_TRUE(load.acted);
      if (c.values) {
        EXPECT_EQ(load.message, "");
        EXPECT_TRUE(holds(p, *c.values));
      } else {
        EXPECT_TRUE(cannot_read(load.message, path));
        EXPECT_NE(load.message.find(c.reason), std::string::npos) << load.message;
      }
    }
}

TEST(ReadError, FailedReadEndsWithCannotReadAndTheReason) {
  // Reading the process's own memory at offset 0 fails with EIO.
  SKIP_WITHOUT(testing_support::without_read_failure("/proc/self/mem", "Input/output error"));
  itsolv::Problem p;
  EXPECT_EQ(load("/proc/self/mem", kSettings[0], p), "Cannot read file /proc/self/mem: Input/output error\n");
}

// A FIFO fed whole in small pieces loads like the file; fed by a writer that
// stops halfway, it ends with one line.
TEST(Fifo, LoadsWhatIsFedOrEndsWithCannotReadWhenTheWriterStops) {
  signal(SIGPIPE, SIG_IGN);  // a refusing reader gives EPIPE
  const Values v = problem();
  const std::string text = testing_support::problem_text(v);
  TempDir scratch;
  const std::string path = scratch / "fifo";
  ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
  for (const bool halfway : {false, true})
    for (const Setting& s : kSettings) {
      SCOPED_TRACE(testing::Message() << (halfway ? "halfway, " : "whole, ") << s.threads << " threads");
      const std::string fed = halfway ? text.substr(0, text.size() / 2) : text;
      const size_t piece = halfway ? 64 : 7;
      std::thread writer([&] {  // opening waits for the reader
        const int fd = open(path.c_str(), O_WRONLY | O_CLOEXEC);
        for (size_t done = 0; fd >= 0 && done < fed.size(); std::this_thread::yield()) {
          const ssize_t put = write(fd, fed.data() + done, std::min(piece, fed.size() - done));
          if (put <= 0) break;
          done += static_cast<size_t>(put);
        }
        close(fd);
      });
      itsolv::Problem p;
      const std::string message = load(path, s, p);
      writer.join();
      if (!halfway) {
        EXPECT_TRUE(message.empty() && holds(p, v)) << message;
      } else {
        EXPECT_TRUE(cannot_read(message, path));
        EXPECT_NE(message.find("the file ends"), std::string::npos) << message;
      }
    }
}

// Memory that cannot be committed ends the load with the allocation
// failure, rather than in a store that the system kills the program for;
// without the advice, the loader touches the pages itself, keeping the
// values that earlier chunks stored there (a panel of 100 bytes a row
// spans pages whose first bytes hold coefficients).
TEST(MatrixMemory, UncommittedPagesEndWithCannotAllocate) {
  for (const Values& v : {problem(), testing_support::random_values(100, Kind::small_integers, 5)}) {
    TempDir dir;
    write_file(dir / "problem.txt", testing_support::problem_text(v));
    for (const int error : {ENOMEM, EINVAL})
      for (const Setting& s : kSettings) {
        itsolv::Problem p;
        populate_error = error;
        const std::string message = load(dir / "problem.txt", s, p);
        populate_error = 0;
        if (error == ENOMEM) {
          EXPECT_EQ(message, "Cannot allocate a!\n");
        } else {
          EXPECT_TRUE(message.empty() && holds(p, v)) << v.num << " variables: " << message;
        }
      }
  }
}

}  // namespace

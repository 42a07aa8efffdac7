// Inputs that once broke the loader, kept byte for byte. Each went through
// the fuzz target (fuzz/loader_fuzzer.cpp) or a review of the reader; the
// sanitizer builds turn any relapse into a failure here.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <climits>
#include <string>

#include "load/loader.hpp"
#include "matrix/matrix.hpp"
#include "support/load_values.hpp"
#include "support/progress_log.hpp"
#include "support/temp_files.hpp"

namespace {

// Loads `bytes` as they arrive through a pipe (no size known); the failure's
// message, or "" when they load.
std::string load_from_pipe(const std::string& bytes) {
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) std::abort();
  if (write(fds[1], bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size())) std::abort();
  close(fds[1]);
  itsolv::Problem p;
  const std::string message = load_message(p, "/proc/self/fd/" + std::to_string(fds[0]), 1);
  close(fds[0]);
  return message;
}

// A count near the top of the signed 32-bit range, through a pipe, where no
// file size refuses it first: the panel count of the matrix overflowed an
// int before the allocation could fail.
TEST(Regressions, LargestCountThroughAPipeIsAnAllocationFailure) {
  EXPECT_EQ(load_from_pipe("2147483647 0.1 0 0 0"), "Cannot allocate a!\n");
  EXPECT_EQ(load_from_pipe("2147483584 0.1 0 0 0"), "Cannot allocate a!\n");
  itsolv::Matrix m;
  EXPECT_FALSE(m.allocate(INT32_MAX));
}

// A "-0" widens the matrix to floats, and the read buffer then gives back
// what it took for compact chunks, moving the unread bytes: the offset told
// to the progress sink was taken from the old place and ran past the file's
// size, then back.
TEST(Regressions, ProgressOffsetsStayInOrderWhenTheBufferShrinks) {
  // As found (one value short), and whole.
  for (const std::string text : {"2 1 0 0 1 -0 1 -1 1", "2 1 0 0 1 -0 1 -1 1 1"}) {
    const testing_support::TempFile file(text);
    for (size_t compact_chunks : {1, 4}) {
      SCOPED_TRACE(text + ", compact chunks " + std::to_string(compact_chunks));
      itsolv::LoadOptions options;
      options.part_bytes = 3;
      options.compact_chunks = compact_chunks;
      testing_support::ProgressLog offsets;
      itsolv::Problem p;
      load_message(p, file.path(), 1, options, &offsets);
      EXPECT_EQ(p.a.storage(), itsolv::Storage::f32);
      ASSERT_FALSE(offsets.reports.empty());
      uint64_t last = 0;
      for (const auto& [done, total] : offsets.reports) {
        EXPECT_EQ(total, text.size());
        EXPECT_LE(last, done);
        EXPECT_LE(done, text.size());
        last = done;
      }
    }
  }
}

}  // namespace

// libFuzzer target: arbitrary bytes as a problem file, through the loader,
// the pre-check and a bounded number of sweeps.
//
// The first byte chooses how the solver runs; the rest is the file:
//   bit 0     one or two threads
//   bits 1-2  LoadOptions::part_bytes: 3, 16, 256 or 1 MiB, and compact_chunks
//             1, 4, 1 or 4 (so that widening to floats shrinks the buffer)
//   bit 3     team_bytes 0 (every chunk parsed by the team) or the default
//   bit 4     Team::threshold 0 (every sweep split) or the default
//   bit 5     the file is a pipe (no size known) instead of a regular file
//   bits 6-7  the rows held: all, block 0 or 1 of 2, block 1 of 3
//
// Besides crashes, leaks and undefined behaviour, the target checks what
// it can check independently of the code under test:
//   - the loader accepts exactly the files that the literal solver's plain
//     token-by-token reading with strtol and the "%f" scan accepts
//     (tests/support/literal_solver.hpp), and places the same bits;
//   - the pre-check agrees with the literal solver's row sums;
//   - every instruction set's sweep gives the same bits, and the plain
//     update of each row gives the same value;
//   - progress never goes back, never passes the size, and finishes once.
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "base/failure.hpp"
#include "load/loader.hpp"
#include "matrix/problem.hpp"
#include "solve/precheck.hpp"
#include "solve/report.hpp"
#include "solve/sweeps.hpp"
#include "support/float_bits.hpp"
#include "support/isas.hpp"
#include "support/literal_solver.hpp"
#include "support/problem_access.hpp"
#include "support/team.hpp"

namespace {

using testing_support::bits;
using testing_support::team;

constexpr int32_t kMaxSweptN = 200;
constexpr int kMaxSweeps = 50;
constexpr int kComparedSweeps = 3;

[[noreturn]] void fault(const char* what) {
  std::fprintf(stderr, "loader_fuzzer: %s\n", what);
  std::abort();
}

class CheckedProgress : public common::Progress {
 public:
  void advance(uint64_t done, uint64_t total) override {
    if (finished_) fault("progress advanced after it finished");
    if (done < done_) fault("progress went back");
    if (total != 0 && done > total) fault("progress passed the size");
    done_ = done;
  }
  void finish() override {
    if (finished_) fault("progress finished twice");
    finished_ = true;
  }
  bool finished() const { return finished_; }

 private:
  uint64_t done_ = 0;
  bool finished_ = false;
};

void put_all(int fd, const uint8_t* data, size_t size) {
  for (size_t done = 0; done < size;) {
    const ssize_t put = write(fd, data + done, size - done);
    if (put <= 0) fault("cannot write the input");
    done += static_cast<size_t>(put);
  }
}

// A descriptor that reads `size` bytes of data: a memfd, or a pipe holding
// them whole (-1 when they do not fit).
int regular_file(const uint8_t* data, size_t size) {
  const int fd = memfd_create("problem", MFD_CLOEXEC);
  if (fd < 0) fault("memfd_create failed");
  put_all(fd, data, size);
  return fd;
}

int pipe_file(const uint8_t* data, size_t size) {
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) fault("pipe2 failed");
  const int room = fcntl(fds[1], F_SETPIPE_SZ, 1 << 20);
  if (room < 0 || static_cast<size_t>(room) < size) {
    close(fds[0]);
    close(fds[1]);
    return -1;
  }
  put_all(fds[1], data, size);
  close(fds[1]);
  return fds[0];
}

void check_precheck(const itsolv::Problem& p, const literal::Problem& e, itsolv::Team& ctx) {
  const itsolv::RowCheck got = itsolv::check_rows(p, ctx);
  const itsolv::RowRange held = p.a.held();
  const literal::RowCheck want = literal::check_rows(e.num, e.a, held.begin, held.end);
  if (got.failing_row != want.failing_row || got.strict != want.strict || bits(got.d) != bits(want.d) ||
      bits(got.s) != bits(want.s))
    fault("pre-check differs from the plain row sums");
  try {
    itsolv::fail_check(got);
  } catch (const itsolv::Failure&) {
  }
}

// One sweep with every instruction set from the same estimate: all give the
// same bits, and each row the plain update's value.
void check_sweep(itsolv::Problem& p, itsolv::Team& ctx) {
  const size_t n = static_cast<size_t>(p.num);
  itsolv::copy_curr(p);
  std::vector<float> first;
  for (itsolv::Isa isa : testing_support::supported_isas()) {
    itsolv::Team each = ctx;
    each.isa = isa;
    itsolv::sweep_rows(p, each);
    std::vector<float> x(p.x.data(), p.x.data() + n);
    if (first.empty()) {
      first = x;
    } else if (std::memcmp(first.data(), x.data(), n * sizeof(float)) != 0) {
      fault("instruction sets disagree on a sweep");
    }
  }
  for (int32_t i = p.a.first_row(); i < p.a.row_end(); ++i) {
    const float kernel = p.x[i];
    testing_support::update_var(p, i);
    if (!(std::isnan(kernel) && std::isnan(p.x[i])) && bits(kernel) != bits(p.x[i]))
      fault("sweep differs from the plain update of a row");
    p.x[i] = kernel;
  }
}

void run(const uint8_t* data, size_t size) {
  if (size == 0) return;
  const uint8_t config = data[0];
  ++data;
  --size;
  static constexpr size_t kPartBytes[] = {3, 16, 256, size_t{1} << 20};
  itsolv::Team ctx{team(config & 1 ? 2 : 1)};
  itsolv::LoadOptions options;
  options.part_bytes = kPartBytes[(config >> 1) & 3];
  options.compact_chunks = (config & 2) ? 4 : 1;
  if (config & 8) options.team_bytes = 0;
  if (config & 16) ctx.threshold = 0;
  CheckedProgress progress;

  int fd = (config & 32) ? pipe_file(data, size) : -1;
  if (fd < 0) fd = regular_file(data, size);
  const std::string path = "/proc/self/fd/" + std::to_string(fd);

  static constexpr int kBlocks[][2] = {{0, 1}, {0, 2}, {1, 2}, {1, 3}};  // block, of blocks
  options.block = kBlocks[config >> 6][0];
  options.blocks = kBlocks[config >> 6][1];
  itsolv::Problem p;
  bool loaded = true;
  try {
    itsolv::get_input(p, path.c_str(), ctx.workers, options, &progress);
  } catch (const itsolv::Failure& f) {
    loaded = false;
    if (f.message.empty() || f.message.back() != '\n') fault("a failure message without its line feed");
  }
  close(fd);
  if (!progress.finished()) fault("progress not finished");
  literal::Problem e;
  const bool loads = literal::read_problem({reinterpret_cast<const char*>(data), size}, e);
  if (loaded != loads) fault(loaded ? "loaded a file the plain reading refuses" : "refused a whole problem");
  if (!loaded) return;
  if (const std::string d = testing_support::difference(p, e); !d.empty())
    fault(("loaded values differ from the plain reading: " + d).c_str());
  if (p.num > kMaxSweptN) return;

  check_precheck(p, e, ctx);
  for (int sweep = 0; sweep < kMaxSweeps; ++sweep) {
    if (sweep < kComparedSweeps) {
      check_sweep(p, ctx);
    } else {
      itsolv::sweep(p, ctx);
    }
    if (!(itsolv::get_max_err(p) > p.err)) break;
  }
  const std::string report = itsolv::format_report(p, kMaxSweeps);
  if (report.empty() || report.back() != '\n') fault("report without its line feed");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  run(data, size);
  return 0;
}

// Each phase of itsolv beside the machine's floor for it, through the
// solver's own library:
//
//   phases FILE              load, pre-check, sweeps, report: time, floor, ratio
//   phases --sweeps FILE K   load, then K sweeps (timed whole from outside,
//   phases --reads FILE K    against K plain reads of the same matrix bytes)
//
// Floors: the load's is read() of the file from the page cache into a reused
// buffer, and with it (load') the first touch of fresh memory of the
// matrix's size on every core, which the system zeroes page by page; the
// pre-check's one read of the matrix's bytes on every core; the sweeps'
// that read once per sweep; the report's a write of its bytes.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "base/failure.hpp"
#include "base/team.hpp"
#include "floors.hpp"
#include "load/loader.hpp"
#include "solve/precheck.hpp"
#include "solve/report.hpp"
#include "solve/sweeps.hpp"

namespace {

using floors::now;

void load(itsolv::Problem& p, const char* path, itsolv::Team& ctx) {
  try {
    itsolv::get_input(p, path, ctx.workers);
  } catch (const itsolv::Failure& f) {
    std::fputs(f.message.c_str(), stderr);
    std::exit(1);
  }
}

uint64_t read_matrix(const itsolv::Problem& p, int passes, int threads) {
  return floors::read_memory(p.a.data<unsigned char>(), p.a.bytes(), passes, threads);
}

void row(const char* phase, double t, double floor) {
  std::printf("%-10s %9.4f %9.4f %7.2fx\n", phase, t, floor, floor > 0 ? t / floor : 0.0);
}

int repeat(const char* mode, const char* path, long k) {
  itsolv::Workers workers;
  itsolv::Team ctx{workers};
  itsolv::Problem p;
  load(p, path, ctx);
  const double start = now();
  uint64_t sum = 0;
  if (std::strcmp(mode, "--sweeps") == 0) {
    for (long s = 0; s < k; ++s) itsolv::sweep(p, ctx);
    sum = static_cast<uint64_t>(p.x[0]);
  } else {
    sum = read_matrix(p, static_cast<int>(k), workers.size());
  }
  const double t = now() - start;
  std::printf("%s %ld: %.4f s, %.2f ms each, %.2f GB/s (%llu)\n", mode, k, t, 1e3 * t / k,
              1e-9 * static_cast<double>(p.a.bytes()) * k / t, static_cast<unsigned long long>(sum & 1));
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && (std::strcmp(argv[1], "--sweeps") == 0 || std::strcmp(argv[1], "--reads") == 0))
    return repeat(argv[1], argv[2], std::atol(argv[3]));
  if (argc != 2) {
    std::fputs("usage: phases FILE | phases --sweeps FILE K | phases --reads FILE K\n", stderr);
    return 2;
  }
  const char* path = argv[1];
  std::vector<char> buffer(size_t{1} << 20);
  const double load_floor = floors::median_time(3, [&] { floors::read_file(path, buffer); });

  itsolv::Workers workers;
  itsolv::Team ctx{workers};
  itsolv::Problem p;
  double t0 = now();
  load(p, path, ctx);
  const double t_load = now() - t0;

  t0 = now();
  std::string failure;
  try {
    itsolv::check_matrix(p, ctx);
  } catch (const itsolv::Failure& f) {
    failure = f.message;
  }
  const double t_check = now() - t0;
  if (!failure.empty()) {
    std::fputs(failure.c_str(), stderr);
    return 1;
  }

  const std::vector<float> start(p.x.data(), p.x.data() + p.num);
  t0 = now();
  const int64_t sweeps = itsolv::iterate(p, ctx);
  const double t_sweeps = now() - t0;

  t0 = now();
  const std::string report = itsolv::format_report(p, sweeps);
  const bool written =
      floors::write_file("phases.report", report.size(), std::vector<char>(report.begin(), report.end()));
  const double t_report = now() - t0;

  const int threads = workers.size();
  const double read_once = floors::median_time(3, [&] { read_matrix(p, 1, threads); });
  const double touch = floors::median_of(3, [&] { return floors::first_touch(p.a.bytes(), threads); });
  const double report_floor =
      floors::median_time(3, [&] { floors::write_file("phases.report", report.size(), buffer); });

  std::printf("%d variables, %lld sweeps, matrix %.1f MB (%zu byte storage), %d threads%s\n", p.num,
              static_cast<long long>(sweeps), 1e-6 * static_cast<double>(p.a.bytes()),
              itsolv::storage_bytes(p.a.storage()), threads, written ? "" : ", report not written");
  std::printf("%-10s %9s %9s %8s\n", "phase", "seconds", "floor", "ratio");
  row("load", t_load, load_floor);
  row("load'", t_load, load_floor + touch);
  row("pre-check", t_check, read_once);
  row("sweeps", t_sweeps, read_once * static_cast<double>(sweeps));
  row("report", t_report, report_floor);
  row("total", t_load + t_check + t_sweeps + t_report,
      load_floor + touch + read_once * (1 + static_cast<double>(sweeps)) + report_floor);
  std::printf(
      "load: floor the file's read() %.4f s; load': that and the first touch of the matrix's"
      " memory on %d threads %.4f s\n",
      load_floor, threads, touch);
  std::printf("sweep: %.2f ms, matrix read on %d threads %.2f ms (%.1f GB/s)\n", 1e3 * t_sweeps / sweeps, threads,
              1e3 * read_once, 1e-9 * static_cast<double>(p.a.bytes()) / read_once);
  return 0;
}

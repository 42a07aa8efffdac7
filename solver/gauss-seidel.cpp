// itsolv: solves the square linear system of a problem file by Jacobi
// iteration in single precision and prints the solution and the number of
// sweeps.
#include <csignal>
#include <cstdio>
#include <new>

#include "context.hpp"
#include "failure.hpp"
#include "loader.hpp"
#include "output.hpp"
#include "precheck.hpp"
#include "report.hpp"
#include "sweeps.hpp"

namespace {

int run(const char* path) {
  using namespace itsolv;
  Workers workers;
  Context ctx{workers};
  Problem p;
  std::string report;
  try {
    get_input(p, path, ctx);
    check_matrix(p, ctx);
    const int64_t sweeps = iterate(p, ctx);
    report = format_report(p, sweeps);
  } catch (const Failure& failure) {
    emit(failure.message);
    return 1;
  }
  return emit(report) ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  // A closed pipe shows as a failed write, not as a signal.
  std::signal(SIGPIPE, SIG_IGN);
  if (argc != 2) {
    itsolv::emit("Usage: itsolv filename\n");
    return 1;
  }
  try {
    return run(argv[1]);
  } catch (const std::bad_alloc&) {
    itsolv::emit("Cannot allocate a!\n");
    return 1;
  }
}

// itsolv: solves the square linear system of a problem file by Jacobi
// iteration in single precision and prints the solution and the number of
// sweeps.
#include <csignal>
#include <new>

#include "context.hpp"
#include "output.hpp"
#include "solve.hpp"

int main(int argc, char** argv) {
  // A closed pipe shows as a failed write, not as a signal.
  std::signal(SIGPIPE, SIG_IGN);
  if (argc != 2) {
    itsolv::emit("Usage: itsolv filename\n");
    return 1;
  }
  try {
    itsolv::Workers workers;
    itsolv::Context ctx{workers};
    const itsolv::Outcome outcome = itsolv::solve_file(argv[1], ctx);
    return itsolv::emit(outcome.text) ? outcome.status : 1;
  } catch (const std::bad_alloc&) {
    itsolv::emit("Cannot allocate a!\n");
    return 1;
  }
}

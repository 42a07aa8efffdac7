// itsolv: solves the square linear system of a problem file by Jacobi
// iteration in single precision and prints the solution and the number of
// sweeps. `itsolv --help`, `-h` and `--version` print the help and the
// version instead. While a long load goes on, a progress line is shown on
// standard error when that is a terminal.
#include <unistd.h>

#include <csignal>
#include <new>
#include <optional>

#include "context.hpp"
#include "help.hpp"
#include "output.hpp"
#include "progress_line.hpp"
#include "solve.hpp"

int main(int argc, char** argv) {
  // A closed pipe or a file size limit shows as a failed write, not as a
  // signal.
  std::signal(SIGPIPE, SIG_IGN);
  std::signal(SIGXFSZ, SIG_IGN);
  if (const auto text = itsolv::requested_text(argc, argv, "itsolv")) return itsolv::emit(*text) ? 0 : 1;
  if (argc != 2) {
    itsolv::emit("Usage: itsolv filename\n");
    return 1;
  }
  try {
    itsolv::Workers workers;
    itsolv::Context ctx{workers};
    std::optional<itsolv::ProgressLine> progress;
    if (isatty(STDERR_FILENO)) ctx.progress = &progress.emplace("itsolv: loading");
    const itsolv::Outcome outcome = itsolv::solve_file(argv[1], ctx);
    return itsolv::emit(outcome.text) ? outcome.status : 1;
  } catch (const std::bad_alloc&) {
    itsolv::emit("Cannot allocate a!\n");
    return 1;
  }
}

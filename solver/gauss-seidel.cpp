// itsolv: solves the square linear system of a problem file by Jacobi
// iteration in single precision and prints the solution and the number of
// sweeps. `itsolv --help`, `-h` and `--version` print the help and the
// version instead. While a long load goes on, a progress line is shown on
// standard error when that is a terminal.
#include <unistd.h>

#include <new>
#include <optional>
#include <string_view>

#include "help.hpp"
#include "common/progress_line.hpp"
#include "common/write_all.hpp"
#include "solve.hpp"

int main(int argc, char** argv) {
  itsolv::ignore_write_signals();
  if (argc == 2) {
    const std::string_view request = argv[1];
    if (request == "--help" || request == "-h") return itsolv::write_stdout("itsolv", itsolv::help_text()) ? 0 : 1;
    if (request == "--version") return itsolv::write_stdout("itsolv", itsolv::version_text()) ? 0 : 1;
  }
  if (argc != 2) {
    itsolv::write_stdout("itsolv", "Usage: itsolv filename\n");
    return 1;
  }
  try {
    itsolv::Workers workers;
    itsolv::Team team{workers};
    std::optional<itsolv::ProgressLine> progress;
    if (isatty(STDERR_FILENO)) progress.emplace("itsolv: loading");
    const itsolv::Outcome outcome = itsolv::solve_file(argv[1], team, {}, progress ? &*progress : nullptr);
    return itsolv::write_stdout("itsolv", outcome.text) ? outcome.status : 1;
  } catch (const std::bad_alloc&) {
    itsolv::write_stdout("itsolv", "Cannot allocate a!\n");
    return 1;
  }
}

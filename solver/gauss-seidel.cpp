// itsolv: solves the square linear system of a problem file by Jacobi
// iteration in single precision and prints the solution and the number of
// sweeps. `itsolv --help`, `-h` and `--version` print the help and the
// version instead. While a long load or long sweeps go on, a progress line
// is shown on standard error when that is a terminal; `itsolv --monitor
// FILE` prints a line per sweep there instead, whatever it is.
#include <unistd.h>

#include <new>
#include <optional>

#include "common/progress_line.hpp"
#include "common/write_all.hpp"
#include "help.hpp"
#include "solve/monitor.hpp"
#include "solve/solve.hpp"

int main(int argc, char** argv) {
  common::ignore_write_signals();
  if (const auto text = itsolv::requested_text(argc, argv, "itsolv"))
    return common::write_stdout("itsolv", *text) ? 0 : 1;
  // --monitor is an option only as the first of exactly two arguments.
  const bool monitor = argc == 3 && std::string_view(argv[1]) == "--monitor";
  if (argc != 2 && !monitor) {
    common::write_stdout("itsolv", "Usage: itsolv filename\n");
    return 1;
  }
  try {
    itsolv::Workers workers;
    itsolv::Team team{workers};
    // On a terminal, loading and then the sweeps each show a line; both
    // count their first second from the start. The monitor's lines take the
    // place of the sweeps' line.
    std::optional<common::ProgressLine> loading, sweeping;
    if (isatty(STDERR_FILENO)) {
      loading.emplace("itsolv: loading");
      if (!monitor) sweeping.emplace("itsolv:");
    }
    itsolv::SweepWatch watch;
    if (monitor)
      watch = itsolv::monitor_watch();
    else if (sweeping)
      watch = [&](int64_t sweep, float change, float err) { sweeping->sweep(sweep, change, err); };
    const itsolv::Outcome outcome = itsolv::solve_file(argv[argc - 1], team, {}, loading ? &*loading : nullptr, watch);
    if (sweeping) sweeping->finish();  // erased before the report shows
    return common::write_stdout("itsolv", outcome.text) ? outcome.status : 1;
  } catch (const std::bad_alloc&) {
    common::write_stdout("itsolv", "Cannot allocate a!\n");
    return 1;
  }
}

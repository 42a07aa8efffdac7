#include "help.hpp"

namespace itsolv {

std::string help_text(std::string_view program, const HelpExtras& extras) {
  const std::string name(program);
  std::string text = name + " - solve a dense linear system A x = b by Jacobi iteration\n\n";
  text += "Usage: " + name + " FILE\n";
  text += "       " + name + " --monitor FILE\n";
  text += extras.usage;
  text += "       " + name + " --help | -h\n";
  text += "       " + name + " --version\n\n";
  text += extras.running;
  return text +
         "Reads the problem in FILE, refuses a matrix that is not diagonally dominant\n"
         "by rows, then runs Jacobi sweeps in single precision until the largest\n"
         "relative change of a sweep is no longer above the file's tolerance. Prints\n"
         "one line per variable (six decimals), then \"total number of iterations: N\".\n"
         "Everything, messages included, goes to standard output. Exit status 0 when\n"
         "the solution was printed, 1 after any message instead.\n"
         "\n"
         "--monitor FILE also prints one line per sweep on standard error, the sweep\n"
         "number and its largest relative change (%g), e.g. \"12 0.00314159\", ready\n"
         "for plotting; standard output and exit status stay the same.\n"
         "\n"
         "The problem file holds numbers separated by any white space, in this order:\n"
         "  n                          the number of variables, a whole number\n"
         "  tolerance                  where the sweeps stop\n"
         "  x[0] ... x[n-1]            the starting values\n"
         "  A[i][0] ... A[i][n-1] b[i] each row of the matrix and its right-hand\n"
         "                             side, for i = 0 ... n-1\n"
         "A number is a token that C's scanf reads whole under \"%f\" (200, 2e2, -0.5,\n"
         "0x1p3, inf). A file without a token, or with the count 0, is the empty\n"
         "problem, which no matrix check passes.\n"
         "For example, 4 x = 2 started at 0 with tolerance 0.001:  1 0.001 0 4 2\n"
         "\n"
         "mkprob(1) writes such files. The manual: man itsolv\n";
}

std::string version_text(std::string_view program) { return std::string(program) + " " ITSOLV_VERSION "\n"; }

std::optional<std::string> requested_text(int argc, char** argv, std::string_view program, const HelpExtras& extras) {
  if (argc != 2) return std::nullopt;
  const std::string_view request = argv[1];
  if (request == "--help" || request == "-h") return help_text(program, extras);
  if (request == "--version") return version_text(program);
  return std::nullopt;
}

}  // namespace itsolv

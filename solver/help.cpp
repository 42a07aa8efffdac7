#include "help.hpp"

namespace itsolv {

std::string_view help_text() {
  return "itsolv - solve a dense linear system A x = b by Jacobi iteration\n"
         "\n"
         "Usage: itsolv FILE\n"
         "       itsolv --monitor FILE\n"
         "       itsolv --help | -h\n"
         "       itsolv --version\n"
         "\n"
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
         "Numbers are read as C's strtof reads them (200, 2e2, -0.5, 0x1p3, inf).\n"
         "For example, 4 x = 2 started at 0 with tolerance 0.001:  1 0.001 0 4 2\n"
         "\n"
         "mkprob(1) writes such files. The manual: man itsolv\n";
}

std::string_view version_text() { return "itsolv " ITSOLV_VERSION "\n"; }

}  // namespace itsolv

#include "generator/help.hpp"

namespace mkprob {

std::string_view help_text() {
  return "mkprob - write a reproducible test problem for itsolv\n"
         "\n"
         "Usage: mkprob N TOL\n"
         "       mkprob --help | -h\n"
         "       mkprob --version\n"
         "\n"
         "Writes the file N.txt (the first argument as typed, then \".txt\") in the\n"
         "current directory: a system of N variables, strictly diagonally dominant,\n"
         "with the tolerance TOL. A plain file is replaced whole once the new one is\n"
         "complete, keeping its permissions; a FIFO, a device or a file with several\n"
         "links is written in place. Prints nothing on success; exit status 1 after\n"
         "any message.\n"
         "\n"
         "The file, one line each:\n"
         "  N                          the number of variables\n"
         "  TOL                        narrowed to single precision, six decimals\n"
         "  0 0 ... 0                  N starting values\n"
         "  A[i][0] ... A[i][N-1] b[i] N rows: the diagonal is 100*N, the other\n"
         "                             coefficients are from 1 to 99, b[i] is from\n"
         "                             -9 to 99\n"
         "The numbers are drawn from the C library's unseeded rand, so the same\n"
         "arguments always give the same file. itsolv(1) solves it.\n"
         "The manual: man mkprob\n";
}

std::string_view version_text() { return "mkprob " ITSOLV_VERSION "\n"; }

}  // namespace mkprob

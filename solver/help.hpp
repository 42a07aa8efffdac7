// What itsolv (and itsolv-mpi, under its own name) says about itself when
// asked: its help and its version.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace itsolv {

// The description, the usage and the problem file's format, for --help.
std::string help_text(std::string_view program = "itsolv");

// "PROGRAM VERSION", for --version.
std::string version_text(std::string_view program = "itsolv");

// The text asked for by a lone argument --help, -h or --version; none for
// any other command line (a file called --help is given as ./--help).
std::optional<std::string> requested_text(int argc, char** argv, std::string_view program);

}  // namespace itsolv

// What itsolv (and a program built on the solver, under its own name) says
// about itself when asked: its help and its version.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace itsolv {

// What a program built on the solver adds to the help: usage lines after
// the two it shares, and a paragraph (ending with an empty line) on how it
// runs, before the description.
struct HelpExtras {
  std::string usage;
  std::string running;
};

// The description, the usage and the problem file's format, for --help.
std::string help_text(std::string_view program = "itsolv", const HelpExtras& extras = {});

// "PROGRAM VERSION", for --version.
std::string version_text(std::string_view program = "itsolv");

// The text asked for by a lone argument --help, -h or --version; none for
// any other command line (a file called --help is given as ./--help).
std::optional<std::string> requested_text(int argc, char** argv, std::string_view program,
                                          const HelpExtras& extras = {});

}  // namespace itsolv

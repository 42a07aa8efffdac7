// What itsolv says about itself when asked: its help and its version.
#pragma once

#include <string_view>

namespace itsolv {

// The description, the usage and the problem file's format, for --help.
std::string_view help_text();

// "itsolv VERSION", for --version.
std::string_view version_text();

}  // namespace itsolv

#pragma once

// What mkprob says about itself when asked: its help and its version.

#include <string_view>

namespace mkprob {

// The description, the usage and the generated problem's shape, for --help.
std::string_view help_text();

// "mkprob VERSION", for --version.
std::string_view version_text();

}  // namespace mkprob

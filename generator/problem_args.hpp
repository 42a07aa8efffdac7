#pragma once

// The generator's reading of its two command-line arguments.

#include <cstdint>
#include <cstdlib>
#include <string>

namespace mkprob {

// `numvar`: the leading decimal integer of the text, read as the C library's
// atoi reads it (leading white space, an optional sign, digits; 0 without
// digits) and with the same wrap-around of out-of-range values, but without
// atoi's undefined behaviour.
inline int32_t parse_numvar(const char* text) { return static_cast<int32_t>(std::strtol(text, nullptr, 10)); }

// `error`: the text read as a double (0 without a number), narrowed to float.
inline float parse_error(const char* text) { return static_cast<float>(std::strtod(text, nullptr)); }

// The output file name: the first argument's text as typed, then ".txt".
inline std::string problem_file_name(const char* numvar_text) { return std::string(numvar_text) + ".txt"; }

// The diagonal coefficient `numvar` * 100, wrapping like signed 32-bit
// arithmetic on the machine.
inline int32_t diagonal_value(int32_t numvar) { return static_cast<int32_t>(static_cast<uint32_t>(numvar) * 100u); }

}  // namespace mkprob

#pragma once

// The text of generated coefficients: for each draw r, "%d " of r mod 99 + 1
// (one or two digits and a blank), sixteen draws at a time with AVX-512
// where the machine has it.

#include <cstddef>
#include <cstdint>

namespace mkprob {

// Writes the texts of draws[0 .. count) (all non-negative) at p, which has
// room for 3 * count + 64 bytes; gives the end of the text.
char* put_coefficient_texts(const int32_t* draws, size_t count, char* p);

}  // namespace mkprob

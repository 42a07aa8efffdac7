#pragma once

// The words of the C library's additive generator, r[j] = r[j-31] + r[j-3]
// (mod 2^32), eight at a time in vector registers where the machine has
// AVX2.

#include <cstddef>
#include <cstdint>

namespace mkprob {

// Given w[0 .. 31), the last 31 words, makes w[31 .. 31 + k), the next k.
void next_words(uint32_t* w, size_t k);

}  // namespace mkprob

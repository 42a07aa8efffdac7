// Loading, stage 3b: runs of decimal tokens such as "-32841.714881153",
// "6.23e+00" or "1.150E+00" read with vector registers, in three passes
// over a run:
// - shapes: the classes of 64 bytes at a time (white space, digits, points,
//   exponent letters, signs) as bit masks give each token's start, length
//   and form; its mantissa digits are gathered into 16 bytes (the point and
//   sign dropped, the last digit in byte 15) and its power of ten noted;
// - mantissas: four tokens' digits at a time in multiply-adds;
// - values: sixteen at a time where one float operation rounds m * 10^k
//   (m at most 2^24, k at most 10 in magnitude), the rest one by one
//   through decimal_value.
// Every value is exactly the one read_decimal (number_token.hpp) gives.
#pragma once

#include <cstdint>

#include "kernels.hpp"

namespace itsolv {

// Reads the decimal tokens at q (white space or a token's first byte, with
// white space or nothing before it in the token) into vals, at most `max`
// (at most kDecimalRun) of them; q moves past them, to white space or to the
// first token not taken. Gives how many were read. A token is taken when it
// has the form [-]digits[.digits][(e|E)[+-]digits] with at least one
// mantissa digit, 1 to 3 exponent digits and at most 16 bytes; the others
// are left to the scalar reader. The text has at least 64 readable bytes
// after every token (the reader's blanks); vals has room for max + 8.
constexpr int32_t kDecimalRun = 256;
using DecimalRunReader = int32_t (*)(const char*& q, int32_t max, float* vals);

// The reader for an instruction set, or null when it has none.
DecimalRunReader decimal_run_reader(Isa isa);
DecimalRunReader decimal_run_reader_avx512();

}  // namespace itsolv

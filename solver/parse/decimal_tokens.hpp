// Loading, stage 3b: runs of decimal tokens such as "-3284.714881153",
// "6.23e+00", "1.150E+00" or "3.1415926535897931" read with vector
// registers, in three passes over a run:
// - starts: the white space of 64 bytes at a time gives the tokens' starts;
// - forms: four tokens at a time, 16 bytes from each one's start in a lane
//   of a register (two at a time in lanes of 32 bytes from a longer token
//   on), their byte classes as bit masks checked all at once; the digits
//   of the mantissas (and of the long tokens' exponents) gathered by a byte
//   compress and expand to the ends of their lanes, those of the short
//   tokens' exponents by a byte shuffle from the tokens' ends, and
//   converted in multiply-adds while the next group's forms are checked;
//   the fraction's digits and the signs noted as the bits they are;
// - values: those bits counted, eight at a time where one double
//   operation gives m * 10^k's float (k at most 22 in magnitude, at most
//   18 for a mantissa above 2^53; the double more than 8 units of its last
//   place from every midpoint between floats), the rest one by one through
//   decimal_value.
// Every value is exactly the one read_decimal (number_token.hpp) gives.
#pragma once

#include <cstdint>

namespace itsolv {

// Reads the decimal tokens at q (white space or a token's first byte, with
// white space or nothing before it in the token) into vals, at most `max`
// (at most kDecimalRun) of them; q moves past them, to white space or to the
// first token not taken. Gives how many were read. A token is taken when it
// has the form [+-]digits[.digits][(e|E)[+-]digits] with 1 to 19 mantissa
// digits, 1 to 3 exponent digits and at most 31 bytes; the others are left
// to the scalar reader. The text has at least 64 readable bytes
// after every token (the reader's blanks); vals has room for max + 8.
constexpr int32_t kDecimalRun = 256;
using DecimalRunReader = int32_t (*)(const char*& q, int32_t max, float* vals);

// The reader of the instruction set that has one (see isa_table.hpp).
DecimalRunReader decimal_run_reader_avx512();

}  // namespace itsolv

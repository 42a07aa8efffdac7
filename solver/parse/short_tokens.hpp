// Loading, stage 3a: runs of short integer tokens read a 64-byte block at a
// time in vector registers.
//
// A short token is one or two decimal digits, a minus sign before them or
// not ("7", "42", "-5", "-17"), but not a negative zero ("-0", "-00"): its
// value is an integer from -99 to 99, exactly the float the scalar reader
// gives, and fits every storage. Any other token ends a run and is left to
// the scalar reader (number_token.hpp).
#pragma once

#include <cstdint>

namespace itsolv {

// A block's worth of values. A vector reader stores only the values it
// takes, never past the `max` it is given: the row stage is read into
// straight, and there the values after a run belong to tokens that other
// members place. Buffers read into still keep this much room beyond.
inline constexpr int32_t kBlockValues = 64;

// The reader of an instruction set reads the short tokens at q (white space
// or a token's first byte, with white space or nothing before it in the
// token) into vals, at most `max` of them; q moves past them, to white
// space or to the first token that is not short. Gives how many were read.
// The text has at least 64 readable bytes after every token (the reader's
// blanks). Stores nothing past vals[max - 1].
using ShortRunReader = int32_t (*)(const char*& q, int32_t max, int8_t* vals);

// The reader of each instruction set that has one (see isa_table.hpp).
ShortRunReader short_run_reader_avx2();
ShortRunReader short_run_reader_avx512();

}  // namespace itsolv

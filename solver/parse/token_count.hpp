// Loading, stage 2: finding and counting the tokens of a text, sixteen or
// sixty-four bytes at a time, so that each part of a chunk learns the index of its first token
// before any of them is read.
#pragma once

#include <cstdint>

#include "base/isa.hpp"

namespace itsolv {

struct TokenCount {
  int64_t tokens = 0;    // tokens that start in the text
  int64_t newlines = 0;  // line feeds in it
};

// Counts [begin, end), taken to start after white space.
TokenCount count_tokens(const char* begin, const char* end);

// The same count with the widest vectors of `isa` (the text's blocks of 64
// bytes in AVX-512 or AVX2 registers, the rest as above).
TokenCount count_tokens(const char* begin, const char* end, Isa isa);

// Counts the whole blocks of 64 bytes from p on into c, `after_space`
// telling whether the byte before p is white space (or p is the start) and
// then whether the last byte counted is. Gives the end of the last block.
using BlockCounter = const char* (*)(const char* p, const char* end, TokenCount& c, bool& after_space);
BlockCounter block_counter_avx2();
BlockCounter block_counter_avx512();

// The line feeds in [begin, end), one byte at a time (for messages).
int64_t count_newlines(const char* begin, const char* end);

// The end of the complete tokens in text[from, end): just after its last
// white space, or `from` when it has none.
const char* complete_tokens_end(const char* from, const char* end);

// The first token boundary at or after `at` within (from, end]: `at` when
// white space comes before it, otherwise the end of the token it falls in.
const char* token_boundary(const char* from, const char* at, const char* end);

}  // namespace itsolv

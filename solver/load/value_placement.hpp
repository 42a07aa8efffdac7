// Loading, stage 4: placing values by their token index. Token t of a file
// of n variables has one place (token_place.hpp); a run of tokens whose
// first index is known can be placed without anything read before it,
// whichever part of the file it comes from.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "base/isa.hpp"
#include "load/token_place.hpp"
#include "matrix/matrix.hpp"
#include "matrix/problem.hpp"

namespace itsolv {

// Token t in words, for messages: "the tolerance", "the coefficient a[2][5]".
std::string describe(int64_t t, int32_t n);

// A token as it may be shown in a message: in double quotes, printable
// ASCII, the rest escaped, cut short after 40 bytes.
std::string quote(const char* begin, const char* end);

// How placing a run of tokens went.
struct Placed {
  int64_t bad = -1;  // index of the first token that is not a number
  const char* bad_begin = nullptr;
  const char* bad_end = nullptr;
  Storage need = Storage::i8;  // the widest storage the coefficients need
};

// Reads `count` tokens from `text` (which has white space or the reader's
// blanks after them, and at least 64 readable bytes after each token, as
// the Reader's buffer has), the first of which is token `first` of the file, and
// places each value into p: starting values, then row by row the
// coefficients of the rows p holds (the diagonal apart) and the right-hand
// sides. A coefficient that the matrix's storage cannot hold is not stored;
// `need` says what storage it takes. Stops at the first token that is not
// a number.
// Runs of short integers and decimals are read with the vector readers of
// `isa`; the values are the same.
// Given a stage prepared for these tokens (and p.a's storage), the
// coefficients go there instead of into p.a (see row_stage.hpp).
class RowStage;
Placed place_values(Problem& p, const char* text, int64_t first, int64_t count, Isa isa, RowStage* stage = nullptr);

// The values of a run of tokens read before the index of its first token
// is known (see compact_values.hpp): value k in a byte when it
// fits one, else kept aside with its index; or every value as a float.
struct CompactValues {
  int64_t count = 0;                               // values held
  std::vector<int8_t> small;                       // value k when it fits a byte, 0 when kept aside
  std::vector<std::pair<uint32_t, float>> others;  // the values kept aside, by index
  std::vector<float> wide;                         // every value instead, when `small` is empty
};

// Places the first `count` values of consecutive runs, tokens first ... of
// the file, the same way, through a stage moved by the movers of `isa`;
// they are all numbers. Gives what storage the coefficients need.
Storage place_values(Problem& p, std::span<const CompactValues> runs, int64_t first, int64_t count,
                     Isa isa = best_isa());

}  // namespace itsolv

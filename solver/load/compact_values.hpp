// The values of a run of tokens read before the index of its first token in
// the file is known: a process of itsolv-mpi reads its byte range into this form as the
// bytes come, and places the values once it has learned where its range
// starts. Most coefficients of a problem are small integers, which take a
// byte each here; the other values are kept aside with their index, or, when
// they are many, every value of the run is kept as a float. So the values of
// a range take about as much memory as the rows they fill, and less than
// their text.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "load/value_placement.hpp"

namespace itsolv {

// Reads the `count` tokens at `text` (which starts after white space and has
// white space or at least 64 blanks after every token) into v, with the
// vector reader of `isa` for runs of short integers. Stops at the first
// token that is not wholly a number: gives its index (v then holds the
// values before it) and its text in bad_begin, bad_end; -1 when all are
// numbers.
int64_t read_compact(const char* text, int64_t count, Isa isa, CompactValues& v, const char*& bad_begin,
                     const char*& bad_end);

// Places the values of consecutive runs, which are tokens first, first + 1,
// ... of the file (those before token `end` only), into p: the starting
// values, and the coefficients and right-hand sides of the rows p holds,
// widening p's storage when a coefficient needs it. The runs of a file are
// placed in file order. Throws "Cannot allocate a!" when the storage cannot
// grow.
void place_compact(Problem& p, std::span<const CompactValues> runs, int64_t first, int64_t end);

// Appends values [from, to) of v to out.
void copy_values(const CompactValues& v, int64_t from, int64_t to, std::vector<float>& out);

}  // namespace itsolv

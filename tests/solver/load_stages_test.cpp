// The loader's stages one at a time: where a token's value goes, how many
// tokens and line feeds a text holds on each instruction set, and what the
// row stage moves into the matrix.
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cctype>
#include <string>

#include "load/row_stage.hpp"
#include "load/token_place.hpp"
#include "load/value_placement.hpp"
#include "parse/token_count.hpp"
#include "support/isas.hpp"
#include "support/problem_access.hpp"

using itsolv::Isa;

// Token t's place in a file of 3 variables (count, tolerance, x[0..2], then
// rows of a[i][0..2] b[i]), and the rows that the tokens before it reach: a
// widening keeps the values of every row up to and including the one of the
// last token placed.
TEST(TokenPlaces, EachIndexHasOnePlace) {
  struct Case {
    int64_t t;
    const char* described;
    int32_t rows_reached_after;
  };
  const Case cases[] = {
      {0, "the number of variables", 0},   {1, "the tolerance", 0},
      {2, "the starting value x[0]", 0},   {4, "the starting value x[2]", 0},
      {5, "the coefficient a[0][0]", 1},   {8, "the right-hand side b[0]", 1},
      {9, "the coefficient a[1][0]", 2},   {11, "the coefficient a[1][2]", 2},
      {12, "the right-hand side b[1]", 2}, {16, "the right-hand side b[2]", 3},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(itsolv::describe(c.t, 3), c.described) << c.t;
    EXPECT_EQ(itsolv::rows_reached(c.t + 1, 3), c.rows_reached_after) << c.t;
  }
}

// Long periodic texts, in which some vector lanes start a token (or hold a
// line feed) in every block, for thousands of blocks in a row, counted from
// several offsets: each instruction set's counters add up before their
// bytes wrap.
TEST(TokenCount, LongPeriodicTextsOnEveryInstructionSet) {
  for (const char* period : {"7 ", "7\n", "-1\t", "12 \n\n 3 ", "555555555555555\n"}) {
    std::string text;
    for (int k = 0; k < 5000; ++k) text += period;
    for (size_t from : {size_t{0}, size_t{1}, size_t{9}}) {
      itsolv::TokenCount want;
      for (size_t at = from; at < text.size(); ++at) {
        want.tokens += !std::isspace(static_cast<unsigned char>(text[at])) &&
                       (at == from || std::isspace(static_cast<unsigned char>(text[at - 1])));
        want.newlines += text[at] == '\n';
      }
      for (Isa isa : testing_support::supported_isas()) {
        const itsolv::TokenCount got = itsolv::count_tokens(text.data() + from, text.data() + text.size(), isa);
        EXPECT_TRUE(got.tokens == want.tokens && got.newlines == want.newlines)
            << itsolv::isa_name(isa) << " " << period << " from " << from << ": " << got.tokens << " tokens, "
            << got.newlines << " line feeds";
      }
    }
  }
}

// Stages that start and end inside groups of rows moved together (four to
// sixty-four rows, by storage and instruction set), anywhere in rows 24 to
// 31, with the page after the stage's values and slack made unreadable:
// the moves read only what was staged, and put every value of its rows in
// its place.
TEST(RowStage, MovesReadOnlyTheStagedValues) {
  const int32_t n = 300;
  const int64_t page = sysconf(_SC_PAGESIZE), rows_first = 2 + n;
  auto token = [&](int32_t row, int32_t col) { return rows_first + int64_t{row} * (n + 1) + col; };
  for (const itsolv::Storage storage : {itsolv::Storage::i8, itsolv::Storage::i16, itsolv::Storage::f32})
    for (int32_t last_row = 24; last_row < 32; ++last_row)
      for (const int32_t cols : {1, 150, n})
        for (Isa isa : testing_support::supported_isas()) {
          itsolv::by_storage(storage, [&](auto t) {
            using T = decltype(t);
            itsolv::Problem p;
            p.num = n;
            ASSERT_TRUE(p.a.allocate(n) && p.a.widen(storage, n));
            // The stage's first token such that its values and slack end at a
            // page boundary, with more of its memory after them to guard.
            const int64_t end = token(last_row, cols), per_page = page / static_cast<int64_t>(sizeof(T));
            const int64_t first = end + 64 - (end + 64 - token(last_row - 8, 0) + per_page - 1) / per_page * per_page;
            itsolv::RowStage stage;
            ASSERT_TRUE(stage.prepare(storage, first, end + 4 * per_page) && stage.prepare(storage, first, end));
            for (int64_t k = first; k < end; ++k) *stage.at<T>(k) = static_cast<T>(k % 101 - 50);
            ASSERT_EQ(mprotect(stage.at<T>(end + 64), static_cast<size_t>(page), PROT_NONE), 0);
            const itsolv::StagedBands bands = itsolv::staged_bands(p, stage, n);
            for (size_t k = 0; k < bands.count(); ++k) itsolv::move_staged_band(p, stage, bands, k, isa);
            for (int32_t row = last_row - 8; row < last_row; ++row)
              for (int32_t col = 0; col < n; ++col)
                ASSERT_EQ(testing_support::element(p.a, row, col),
                          row == col ? 0.0f : static_cast<float>(token(row, col) % 101 - 50))
                    << row << " " << col << " " << itsolv::isa_name(isa);
          });
        }
}

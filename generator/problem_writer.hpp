#pragma once

// Formats a generated problem file: the count, the tolerance, the starting
// values and the rows, each row's coefficients drawn from the generator's
// pseudo-random stream in writing order and followed by its right-hand side.
//
// The text is what these C library calls would write, byte for byte:
//   "%d\n" numvar, "%f\n" error, "0 " per variable and "\n", then per row
//   "%d " per coefficient and "%d\n" for the right-hand side.
//
// Draws: anything with `std::int32_t next()` (the next draw) and
//        `std::span<const std::int32_t> take(std::size_t max)` (the next 1 to
//        max draws), all draws non-negative.
// Out:   anything with `char* reserve(std::size_t n)` (room for n bytes),
//        `void commit(char* end)` (the bytes up to end are written) and
//        `bool good() const` (false once the output has failed; the writer
//        then stops early).

#include <array>
#include <bit>
#include <charconv>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <span>
#include <string_view>

#include "generator/problem_args.hpp"

namespace mkprob {

namespace detail {

// "1 " ... "99 ", indexed by value - 1: up to three bytes of text in the
// low bytes (first character lowest) and the text's length in the top byte.
// Each entry is stored whole; the length byte lands where the next entry
// starts (or in reserved room past the end) and is overwritten.
static_assert(std::endian::native == std::endian::little,
              "coefficient texts are stored as little-endian words");
inline constexpr std::array<std::uint32_t, 99> kCoefficientText = [] {
  std::array<std::uint32_t, 99> table{};
  for (std::uint32_t value = 1; value <= 99; ++value) {
    table[value - 1] = value < 10
                           ? ('0' + value) | ' ' << 8 | 2u << 24
                           : ('0' + value / 10) | ('0' + value % 10) << 8 |
                                 ' ' << 16 | 3u << 24;
  }
  return table;
}();

// Columns formatted between checks for room.
inline constexpr std::size_t kColumnBlock = 4096;

template <class Out>
void put(Out& out, std::string_view text) {
  char* p = out.reserve(text.size());
  std::memcpy(p, text.data(), text.size());
  out.commit(p + text.size());
}

template <class Out>
void put_int(Out& out, std::int32_t value, char separator) {
  char* p = out.reserve(12);
  p = std::to_chars(p, p + 11, value).ptr;
  *p++ = separator;
  out.commit(p);
}

// `count` off-diagonal coefficients, (r mod 99) + 1 for a fresh draw each.
template <class Draws, class Out>
void put_coefficients(Draws& draws, Out& out, std::int64_t count) {
  while (count > 0) {
    const auto batch = draws.take(
        count < static_cast<std::int64_t>(kColumnBlock) ? count : kColumnBlock);
    char* p = out.reserve(3 * batch.size() + 1);
    for (const std::int32_t draw : batch) {
      const std::uint32_t text =
          kCoefficientText[static_cast<std::uint32_t>(draw) % 99u];
      std::memcpy(p, &text, 4);
      p += text >> 24;
    }
    out.commit(p);
    count -= static_cast<std::int64_t>(batch.size());
  }
}

// The starting values: "0 " per variable.
template <class Out>
void put_zeros(Out& out, std::int64_t count) {
  while (count > 0) {
    const std::size_t block =
        count < static_cast<std::int64_t>(kColumnBlock) ? count : kColumnBlock;
    char* p = out.reserve(2 * block);
    for (std::size_t j = 0; j < block; ++j) std::memcpy(p + 2 * j, "0 ", 2);
    out.commit(p + 2 * block);
    count -= block;
  }
}

}  // namespace detail

template <class Draws, class Out>
void write_problem(std::int32_t numvar, float error, Draws& draws, Out& out) {
  detail::put_int(out, numvar, '\n');

  // At most 48 bytes: the largest float has 39 integer digits.
  char tolerance[64];
  const int length = std::snprintf(tolerance, sizeof tolerance, "%f\n",
                                   static_cast<double>(error));
  detail::put(out, std::string_view(tolerance, length));

  detail::put_zeros(out, numvar);
  detail::put(out, "\n");

  char diagonal[16];
  char* diagonal_end =
      std::to_chars(diagonal, diagonal + 11, diagonal_value(numvar)).ptr;
  *diagonal_end++ = ' ';
  const std::string_view diagonal_text(diagonal, diagonal_end - diagonal);

  for (std::int32_t i = 0; i < numvar && out.good(); ++i) {
    detail::put_coefficients(draws, out, i);
    detail::put(out, diagonal_text);
    detail::put_coefficients(draws, out, std::int64_t{numvar} - 1 - i);
    const std::int32_t r1 = draws.next();
    const std::int32_t r2 = draws.next();
    detail::put_int(out, r1 % 100 - r2 % 10, '\n');
  }
}

}  // namespace mkprob

// Number tokens of the problem file.
//
// A token is a maximal run of bytes other than white space (blank, tab, line
// feed, vertical tab, form feed, carriage return). A value token must be
// wholly a number as the C library's formatted scan reads it under "%f" in
// the C locale (decimals, exponents, hexadecimal floats, inf, nan, a leading
// sign, and the scan's own forms such as "2e" or "0x."); the parsers here
// give exactly the scan's value, taking faster routes for the common forms.
#pragma once

#include <fast_float/fast_float.h>

#include <bit>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "parse/hex_float.hpp"
#include "parse/white_space.hpp"

namespace itsolv {

// Value of a whole token as the C library's "%f" scan reads it, through the
// C library itself (the program never changes the C locale): a number
// exactly when the scan consumes every byte of the token. The scan takes
// forms that strtof stops short of ("2e", "1e+", "0x1p", "0x.") and reads
// only "nan" out of "nan(123)".
inline bool scan_float(const char* begin, const char* end, float& out) {
  const size_t length = static_cast<size_t>(end - begin);
  // Embedded NUL bytes end the C string early and so fail the length test.
  if (length == 0 || length > INT_MAX || std::memchr(begin, '\0', length) != nullptr) return false;
  char small[64];
  std::string large;
  char* text = small;
  if (length >= sizeof small) {
    large.assign(begin, length);
    text = large.data();
  } else {
    std::memcpy(small, begin, length);
    small[length] = '\0';
  }
  float v = 0.0f;
  int used = -1;
  if (std::sscanf(text, "%f%n", &v, &used) != 1 || used != static_cast<int>(length)) return false;
  out = v;
  return true;
}

// Value of a whole token of digits, points, exponent letters and signs that
// fast_float reads in full, correctly rounded as the C library rounds. Other
// forms (inf and nan spellings among them, which fast_float reads otherwise
// than the scan) and tokens it stops short of are left to scan_float.
inline bool parse_decimal_form(const char* begin, const char* end, float& out) {
  for (const char* p = begin; p != end; ++p) {
    const char c = *p;
    if (!((c >= '0' && c <= '9') || c == '.' || c == 'e' || c == 'E' || c == '-' || c == '+')) return false;
  }
  float v = 0.0f;
  const auto result = fast_float::from_chars(begin, end, v);
  if (result.ec != std::errc() || result.ptr != end) return false;
  out = v;
  return true;
}

// Value of a whole token of the form [+-]digits (at most 19 digits): exact
// integer, rounded once to float as the scan rounds the decimal.
inline bool parse_plain_integer(const char* begin, const char* end, float& out) {
  const char* p = begin;
  const bool negative = p != end && *p == '-';
  p += p != end && (*p == '-' || *p == '+');
  if (p == end || end - p > 19) return false;
  uint64_t v = 0;
  for (; p != end; ++p) {
    const unsigned d = static_cast<unsigned char>(*p) - '0';
    if (d > 9) return false;
    v = v * 10 + d;
  }
  const float f = static_cast<float>(v);
  out = negative ? -f : f;
  return true;
}

// Value of a whole token, or false when it is not wholly a number.
inline bool parse_float(const char* begin, const char* end, float& out) {
  if (begin == end) return false;
  return parse_plain_integer(begin, end, out) || parse_decimal_form(begin, end, out) ||
         parse_hex_form(begin, end, out) || scan_float(begin, end, out);
}

// Reads the run of digits at q, eight at a time, moving q past it and
// appending the digits to m (which wraps when the run is long: the caller
// counts digits). Gives the number of digits. q must have 8 readable bytes
// after the run.
//
// How one round works on the eight bytes w (the first byte lowest):
// - Which bytes are digits: a byte is '0'..'9' exactly when its high nibble
//   is 3 and adding 6 to it leaves the high nibble 3 (a low nibble above 9
//   carries into it). Or-ing the high nibbles of w and of w + 6 in every
//   byte (the latter moved down) gives 0x33 for a digit; xor with 0x33
//   leaves zero bytes for digits, and the lowest non-zero byte ends the run
//   (its trailing zero bits / 8 are the run's length). A carry out of a
//   byte only comes from a non-digit and only reaches bytes after it.
// - Shifting w up by the bytes that are not in the run drops the bytes after
//   it and puts zero bytes before its first digit, leading zeros; masking
//   keeps the low nibbles, the digit values d0 (most significant) .. d7.
// - v * 10 + (v >> 8) puts d0 * 10 + d1 in byte 0, d2 * 10 + d3 in byte 2,
//   and so on: four two-digit groups g0 .. g3.
// - One multiplication of g0 and g2 (masked out of bytes 0 and 4) by a
//   constant holding 10^6 and 100, and one of g1 and g3 by one holding 10^4
//   and 1, add up to g0 * 10^6 + g1 * 10^4 + g2 * 100 + g3 in their upper
//   32 bits: the run's value.
// - m takes it after its earlier digits, scaled by 10^length.
inline int read_digits(const char*& q, uint64_t& m) {
  static constexpr uint64_t kScale[] = {1, 10, 100, 1000, 10000, 100000, 1000000, 10000000, 100000000};
  int count = 0;
  for (;;) {
    uint64_t w;
    std::memcpy(&w, q, sizeof w);
    const uint64_t t =
        ((w & 0xF0F0F0F0F0F0F0F0) | (((w + 0x0606060606060606) & 0xF0F0F0F0F0F0F0F0) >> 4)) ^ 0x3333333333333333;
    const int length = t == 0 ? 8 : __builtin_ctzll(t) >> 3;
    if (length == 0) return count;
    uint64_t v = (w << (8 * (8 - length))) & 0x0F0F0F0F0F0F0F0F;
    v = v * 10 + (v >> 8);
    v = (((v & 0x000000FF000000FF) * 0x000F424000000064) + (((v >> 16) & 0x000000FF000000FF) * 0x0000271000000001)) >>
        32;
    m = m * kScale[length] + v;
    q += length;
    count += length;
    if (length < 8) return count;
  }
}

// Decimal mantissas and powers of ten that doubles hold exactly, and the
// significand bits of a double below a float's (a normal float's midpoint
// has 1 followed by zeros there).
inline constexpr uint64_t kExactMantissa = uint64_t{1} << 53;
inline constexpr int kExactPower = 22;
inline constexpr double kPow10[kExactPower + 1] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                                   1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                                   1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
inline constexpr uint64_t kBelowFloat = (uint64_t{1} << 29) - 1;
inline constexpr uint64_t kFloatMidpoint = uint64_t{1} << 28;

// The float nearest to m * 10^k (ties to even), negated when `negative`,
// for an exact decimal mantissa m (at most 19 digits); false in the rare
// cases that need more digits of m * 10^k than 64-bit products give.
//
// When m is at most 2^53 and k at most 22 in magnitude, m and 10^|k| are
// exact doubles, so one double multiplication or division gives d, the
// double nearest to m * 10^k. Every midpoint between two neighbouring
// floats of that range is a double too, and rounding to the nearest double
// keeps a value on its side of any double, so d rounds to the same float as
// m * 10^k unless d is such a midpoint (the low 29 bits of its significand
// are then 1 followed by zeros); the float result of that range is always
// normal. Otherwise fast_float's Eisel-Lemire step rounds it from a 128-bit
// product with the power's table entry, the very step that its from_chars
// takes after parsing (m, k) itself.
inline bool decimal_value(bool negative, uint64_t m, int k, float& out) {
  if (m <= kExactMantissa && k >= -kExactPower && k <= kExactPower) {
    const double d = k >= 0 ? static_cast<double>(m) * kPow10[k] : static_cast<double>(m) / kPow10[-k];
    if ((std::bit_cast<uint64_t>(d) & kBelowFloat) != kFloatMidpoint) {
      const float f = static_cast<float>(d);
      out = negative ? -f : f;
      return true;
    }
  }
  const fast_float::adjusted_mantissa am = fast_float::compute_float<fast_float::binary_format<float>>(k, m);
  if (am.power2 < 0) return false;
  fast_float::to_float(negative, am, out);
  return true;
}

// A decimal token [+-]digits[.digits][(e|E)[+-]digits], followed by white
// space within `p`'s readable bytes. Gives the token's length and its value
// in `out`, or 0 for any other form (which parse_float then decides on).
// Mantissas of at most 19 digits and exponents of at most 3 take
// decimal_value; other decimals go to fast_float, and what it does not read
// in full to the scan.
inline int read_decimal(const char* p, float& out) {
  const char* q = p;
  const bool negative = *q == '-';
  q += negative || *q == '+';
  uint64_t m = 0;
  int digits = read_digits(q, m);
  int fraction = 0;
  if (*q == '.') {
    ++q;
    fraction = read_digits(q, m);
    digits += fraction;
  }
  if (digits == 0) return 0;
  int exponent = 0;
  bool exact = digits <= 19;
  if ((*q | 0x20) == 'e') {
    ++q;
    const bool down = *q == '-';
    q += *q == '-' || *q == '+';
    int exponent_digits = 0;
    for (unsigned d; (d = static_cast<unsigned char>(*q) - '0') < 10; ++q, ++exponent_digits)
      if (exponent_digits < 4) exponent = exponent * 10 + static_cast<int>(d);
    if (exponent_digits == 0) return 0;
    if (exponent_digits >= 4) exact = false;
    if (down) exponent = -exponent;
  }
  if (!is_space(*q)) return 0;
  const int length = static_cast<int>(q - p);
  if (exact && decimal_value(negative, m, exponent - fraction, out)) return length;
  return parse_decimal_form(p, q, out) || scan_float(p, q, out) ? length : 0;
}

// A whole token that is a decimal integer within signed 32-bit range, with an
// optional sign.
inline bool parse_count(const char* begin, const char* end, int32_t& out) {
  const char* p = begin;
  bool negative = false;
  if (p != end && (*p == '-' || *p == '+')) negative = *p++ == '-';
  if (p == end) return false;
  int64_t v = 0;
  for (; p != end; ++p) {
    const unsigned d = static_cast<unsigned char>(*p) - '0';
    if (d > 9) return false;
    v = v * 10 + d;
    if (v > 2147483648LL) return false;
  }
  if (negative) v = -v;
  if (v > INT32_MAX || v < INT32_MIN) return false;
  out = static_cast<int32_t>(v);
  return true;
}

}  // namespace itsolv

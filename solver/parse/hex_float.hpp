// Hexadecimal floats such as "0x1.91eb851eb851fp+1", as a program that
// dumps its numbers exactly ("%a") writes them, read without the C
// library's scan: the digits give the binary value exactly, which is then
// rounded once to a float (to nearest, ties to even), as the scan does.
#pragma once

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>

namespace itsolv {

namespace hex_float_detail {

// Digit values by byte, -1 for bytes that are not hexadecimal digits: a
// table, as digits and letters alternate without a pattern to predict.
struct HexTable {
  int8_t value[256];
  constexpr HexTable() : value() {
    for (int c = 0; c < 256; ++c)
      value[c] = static_cast<int8_t>(c >= '0' && c <= '9'   ? c - '0'
                                     : c >= 'a' && c <= 'f' ? c - 'a' + 10
                                     : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                                            : -1);
  }
};
inline constexpr HexTable kHex{};

inline int hex_digit(char c) { return kHex.value[static_cast<unsigned char>(c)]; }

// The float nearest to m * 2^e (ties to even), m not zero and within the
// normal floats or above them (infinity); `sticky` when nonzero bits below
// m's last one were dropped.
inline float round_to_float(uint64_t m, int64_t e, bool sticky) {
  const int drop = std::max(64 - std::countl_zero(m) - 24, 0);  // a float keeps 24 bits
  uint64_t kept = m >> drop;
  if (drop > 0 && ((m >> (drop - 1)) & 1) != 0 &&
      (sticky || (m & ((uint64_t{1} << (drop - 1)) - 1)) != 0 || (kept & 1) != 0))
    ++kept;  // above the half, or at it with an odd last bit
  // Exact in a double; in a float too, unless past its range (infinity).
  return static_cast<float>(std::ldexp(static_cast<double>(kept), static_cast<int>(std::min<int64_t>(e + drop, 1024))));
}

// Exponents stop growing here, far past any float and past what the digits
// of a token shorter than 2^36 bytes (every token the loader takes) can
// move the binary point by: 4 bits a digit, so that such an exponent never
// comes back into the float range (and 64 bits still hold the sum).
inline constexpr int64_t kPowerCap = int64_t{1} << 40;

}  // namespace hex_float_detail

// Value of a whole token [+-]0(x|X)hexdigits[.hexdigits][(p|P)[+-]digits]
// with at least one hexadecimal digit; false for any other form (the scan
// then decides, as for "0x1p" or "0x.", which it reads otherwise).
inline bool parse_hex_form(const char* begin, const char* end, float& out) {
  using hex_float_detail::hex_digit;
  using hex_float_detail::kPowerCap;
  const char* p = begin;
  const bool negative = p != end && *p == '-';
  if (p != end && (*p == '-' || *p == '+')) ++p;
  if (end - p < 3 || p[0] != '0' || (p[1] | 0x20) != 'x') return false;
  p += 2;
  uint64_t m = 0;
  int64_t e = 0;
  bool sticky = false, any = false;
  auto take = [&](int d, bool fraction) {
    any = true;
    if ((m >> 60) == 0) {
      m = m * 16 + static_cast<uint64_t>(d);
      if (fraction) e -= 4;
    } else {
      sticky |= d != 0;
      if (!fraction) e += 4;
    }
  };
  for (int d; p != end && (d = hex_digit(*p)) >= 0; ++p) take(d, false);
  if (p != end && *p == '.')
    for (int d; ++p != end && (d = hex_digit(*p)) >= 0;) take(d, true);
  if (!any) return false;
  if (p != end) {
    if ((*p | 0x20) != 'p' || ++p == end) return false;
    const bool down = *p == '-';
    if ((*p == '-' || *p == '+') && ++p == end) return false;
    int64_t power = 0;
    for (; p != end; ++p) {
      const unsigned d = static_cast<unsigned char>(*p) - '0';
      if (d > 9) return false;
      if (power < kPowerCap) power = power * 10 + d;
    }
    e += down ? -power : power;
  }
  float f = 0.0f;
  if (m != 0) {
    // Below the normal floats the scan's rounding is its own (the C
    // library's, which rounds some of these values down): it decides them.
    if (63 - std::countl_zero(m) + e < -126) return false;
    f = hex_float_detail::round_to_float(m, e, sticky);
  }
  out = negative ? -f : f;
  return true;
}

}  // namespace itsolv

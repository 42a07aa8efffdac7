// The number tokens the reader's tests hold to the C library's "%f" scan
// (literal::whole_float, the oracle): a corpus of every form it knows.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "support/literal_solver.hpp"

namespace testing_support {

// The value of a number token by the oracle.
inline float by_scan(const std::string& token) {
  float v = 0;
  EXPECT_TRUE(literal::whole_float(token, &v)) << token;
  return v;
}

// Prefixes and variations of every form the scan knows, numbers or not:
// hexadecimal, exponents, inf and nan spellings, signs, points, long digit
// strings, overflow, underflow and subnormals.
inline std::vector<std::string> odd_forms() {
  std::istringstream stems(
      "0x1.fffffep+127 0X.8P-3 0x1p-150 0x1.000001p0 0x. 1.5e+10 2.E-3 .5e5 1e-45 7e-46 3.4028236e38 1e39 infinity "
      "INFINITY inFinIty nan(123) NaN(abc) nan() nan(_x9) 1.5.2 37x e5 0e 0x0p 1e400 1e-400 "
      "123456789012345678901234567890.123456789e-20 0.000000000000000000000000000000000000000000001401298");
  std::vector<std::string> out;
  for (std::string stem; stems >> stem;)
    for (size_t n = 1; n <= stem.size(); ++n)
      for (const char* sign : {"", "-", "+", "--", "+-"}) {
        out.push_back(sign + stem.substr(0, n));
        out.push_back(sign + stem.substr(0, n) + ".");
        out.push_back(sign + stem.substr(0, n) + "e");
      }
  return out;
}

// Tokens of tens of thousands of digits whose exponent of five to seven
// digits brings them back near or past the ends of the float range: zeros
// in the whole part and leading zeros in the fraction (hexadecimal and
// decimal), with exponents of both signs. A reader that cuts the exponent
// short reads them as ordinary values.
inline std::vector<std::string> long_exponent_forms() {
  std::vector<std::string> out;
  for (const int n : {24999, 25000, 60001}) {
    const std::string zeros(static_cast<size_t>(n), '0'), half(static_cast<size_t>(n / 2), '0');
    for (const int k : {-1000000, -151, -150, -127, -126, 0, 5, 127, 128, 1000000}) {
      out.push_back("0x" + half + "." + zeros + "1p" + std::to_string(4 * n + 4 + k));
      out.push_back("-0x1" + zeros + "p" + std::to_string(k - 4 * n));
      if (k > -1000 && k < 1000) {
        out.push_back(half + "." + zeros + "1e" + std::to_string(n + 1 + k / 3));
        out.push_back("1" + zeros + "e" + std::to_string(k / 3 - n));
      }
    }
  }
  return out;
}

inline std::vector<std::string> corpus() {
  std::mt19937_64 rng(2024);
  std::vector<std::string> out = {
      "0", "-0", "+0", "0.0", "-0.0", "0e0", "-0e-5", "1", "-1", "127", "-128", "128", "-129", "32767", "-32768",
      "32768", "16777216", "16777217", "16777218", "9999999", "99999999", "123456789012345678901234567890", "1e-45",
      "1.4e-45", "7e-46", "1e-46", "1.17549435e-38", "1.1754942e-38", "3.4028235e38", "3.4028236e38", "3.40282357e38",
      "1e39", "-1e39", "1e10", "1e11", "1e-10", "1e-11", ".5", "5.", "-.5e1", "0.0625", "4.250E+01", "-3.50e-01",
      "12.375", "0x1p-149", "0x1.fffffep127", "0X1P3", "-0x0p0", "inf", "-inf", "INF", "infinity", "-Infinity", "nan",
      "-nan", "NaN", "nan(123)", "+inf", "+nan", "+37", "+.5", "0.1", "0.2", "0.3", "3.14159265358979323846",
      "2.7182818", "1e-4", "0.0001", "0.000100", "00000000000000000000001", "1.00000000000000000000", "16777217.0",
      "0.16777217e8",
      // Rounding at the ends of the range, beyond it, and in long forms.
      "1e-40", "-1e-50", "3.40282356e38", "0x1.ffffffp127", "0x1p-150", "0x1.8p-149", "16777219", "-16777217",
      "9999999999999999999", "99999999999999999999", "18446744073709551617", "-9223372036854775809",
      "1.000000059604644775390625", "1.00000005960464477539062500000000001", "1.0000001788139343", "33554431",
      "0.000000000000000000000000000000000000011754942", "7.0064923216240862e-46", "INFINITY", "+Inf", "NAN", "nan()",
      ".5e1", "1e+00", "0X1P+4", "0x.8p1", "-0x1.5p-3", "1E0", "2147483648", "4294967297",
      "00000000000000000000000000000000000001.5", "1" + std::string(120, '0'), "0." + std::string(60, '0') + "1",
      std::string(70, '9'), "1" + std::string(30, '0') + "e-30", "0x1" + std::string(40, '0') + "p-160",
      // Every form of one value.
      "200", "200.0", "2e2", "+200", "200.", "2E+02", "2e+2", "0x1.9p7", "0X1.9P+7", "0200", "200e0", "20000e-2",
      "0.2e3", "0000000000000000000000000000200", "200.000000000000000000000000000000", "0x00C8p0", "0xc8",
      // Around 16 bytes and 16, 19 and 20 digits; three- and four-digit
      // exponents; the ends of the range in short forms; signed zeros.
      "-32841.714881153", "-328417.714881153", "1234567890123456", "12345678901234567", "-1234567890123456",
      "9999999999999999", "-99999999999999.9", "1234567890123456789", "12345678901234567890", "0.12345678901234567",
      "1e-045", "1e038", "1.5e+999", "1e0000", "-2.5E-0009", "1e-10000", "3e+10000", "-5e-10001", "-7e+10045",
      "2.5e-000010", "1e99999", "1.e5", "-.5e-3", "3.4028235e38", "3.4028236e+38", "1.1754944e-38", "1.4012984e-45",
      "7.006492e-46", "7.006493e-46", "9e-46", "-0.0", "-0e+00", "-0.000e-5", "1-", "1e5-", "1.5e", "1e+", "-", "-.",
      ".e1", "1e1e1", "1.2.3", "--1", "1e+-5", "+1.5e1", "1e5x",
      // Not wholly numbers.
      "abc", "37x", "1.5.2", "-", "+", ".", "e5", "0x", "nan(", "--1", "1-", "in", "infinit", "1,5", "\x01", "5\xff",
      "0x.p", "1e+5x", "inF0", "nan(123)", "nan()", "NaN(abc)"};
  auto digits = [&](int count) {
    std::string s;
    for (int i = 0; i < count; ++i) s += static_cast<char>('0' + rng() % 10);
    return s;
  };
  for (int i = 0; i < 4000; ++i) {
    std::string t = rng() % 3 == 0 ? "-" : "";
    const int whole = static_cast<int>(rng() % 12);
    const int fraction = static_cast<int>(rng() % 12);
    t += digits(whole);
    if (fraction > 0 || whole == 0) {
      t += '.';
      t += digits(fraction + (whole == 0));
    }
    if (rng() % 2) {
      t += rng() % 2 ? 'e' : 'E';
      t += rng() % 2 ? '-' : '+';
      t += std::to_string(rng() % 45);
    }
    out.push_back(t);
  }
  // Near and exactly at the midpoints between neighbouring floats: the hard
  // rounding cases. A double holds the midpoint exactly, and %.60g prints
  // its exact decimal expansion.
  for (int i = 0; i < 3000; ++i) {
    const float f = std::ldexp(static_cast<float>(rng() % (1u << 24)), static_cast<int>(rng() % 120) - 80);
    const double mid = (static_cast<double>(f) + static_cast<double>(std::nextafter(f, INFINITY))) / 2;
    char text[128];
    std::snprintf(text, sizeof text, "%.60g", mid);
    out.push_back(text);
    std::snprintf(text, sizeof text, "%.9g", mid);
    out.push_back(text);
    std::snprintf(text, sizeof text, "%a", static_cast<double>(f));
    out.push_back(text);
    // 14 to 19 digits next to a midpoint often round to it as a double,
    // though the decimal is not the midpoint.
    std::snprintf(text, sizeof text, "%.*g", 14 + i % 6, mid);
    out.push_back(text);
  }
  // Midpoints short enough for the vector reader: n + 1/2 (floats of
  // [2^23, 2^24) are whole), n + 1/4 or 3/4, odd numbers of [2^24, 2^25).
  for (int i = 0; i < 200; ++i) {
    const uint32_t n = (1u << 23) + rng() % (1u << 23);
    const std::string odd = std::to_string(2 * n + 1), half = std::to_string(n / 2), whole = std::to_string(n);
    out.push_back(odd);
    out.push_back(odd + "0e-1");
    out.push_back(half + (i % 2 ? ".25" : ".75"));
    out.push_back(whole + ".5");
  }
  // Hexadecimal floats that round: doubles ("%a"), the midpoints between
  // floats (ties) with a digit set far below them or not, long digit
  // strings, and values near both ends of the float range.
  for (int i = 0; i < 1500; ++i) {
    char text[160];
    double d;
    const uint64_t b = rng();
    std::memcpy(&d, &b, sizeof d);
    if (std::isfinite(d)) {
      std::snprintf(text, sizeof text, "%a", d);
      out.push_back(text);
    }
    const float f = std::ldexp(static_cast<float>(rng() % (1u << 24)), static_cast<int>(rng() % 290) - 150);
    const double mid = (static_cast<double>(f) + static_cast<double>(std::nextafter(f, INFINITY))) / 2;
    std::snprintf(text, sizeof text, i % 2 ? "%a" : "%A", mid);
    out.push_back(text);
    std::string t = text;
    if (const size_t p = t.find_first_of("pP"); p != std::string::npos) {
      t.insert(p, 1, '1');
      t.insert(p, 18, '0');
    }
    out.push_back(t);
    std::snprintf(text, sizeof text, "-0x%llx%llx.%llxp%d", static_cast<unsigned long long>(rng()),
                  static_cast<unsigned long long>(rng()), static_cast<unsigned long long>(rng() % 4096),
                  static_cast<int>(rng() % 400) - 260);
    out.push_back(text);
  }
  out.insert(out.end(), {"0x1.8", "0X.8P1", "0x00000001.8p0", "0x1.fffffep127", "0x1.ffffffp127", "0x1p128", "0x1p-126",
                         "0x1.fffffep-127", "0x0.000001p-102", "+0x1p0", "0x1.p1", "0x1p+1", "0x1P-0"});
  for (int i = 0; i < 2000; ++i) out.push_back(std::to_string(static_cast<int64_t>(rng() % 2000000000) - 1000000000));
  // Mantissas of 12 to 20 digits with a point anywhere, most of them over
  // 2^24, with exponents up to three digits.
  for (int i = 0; i < 2000; ++i) {
    std::string t = rng() % 2 ? "-" : "";
    t += digits(12 + static_cast<int>(rng() % 9));
    t.insert(t.size() - rng() % 10, 1, '.');
    if (rng() % 2) t += "e" + std::to_string(static_cast<int>(rng() % 90) - 60);
    out.push_back(t);
  }
  for (std::string& t : odd_forms()) out.push_back(std::move(t));
  for (std::string& t : long_exponent_forms()) out.push_back(std::move(t));
  return out;
}

// The corpus's tokens that are numbers, in its order.
inline std::vector<std::string> numbers() {
  std::vector<std::string> out;
  for (std::string& t : corpus())
    if (literal::whole_float(t)) out.push_back(std::move(t));
  return out;
}

}  // namespace testing_support

// Random problems for tests: texts written token by token in the many forms
// a number may take, the values such a text holds, and a text that holds
// given values exactly.
#pragma once

#include <cmath>
#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "support/draws.hpp"
#include "support/literal_solver.hpp"
#include "support/mutator.hpp"  // corruptions of these texts

namespace testing_support {

using literal::printf_string;

// The kinds of numbers that fill a problem's coefficients.
enum class Style {
  kTinyIntegers,   // -9 .. 9: 8-bit storage
  kByteEdges,      // around the 8-bit limits -128 / 127
  kShortIntegers,  // up to 32768: 16-bit storage and its edges
  kLargeIntegers,  // up to 10^7
  kDecimals,       // fixed-point decimals
  kExponents,      // exponent forms over many magnitudes
  kMixed,          // every form, hexadecimal floats and '+' included
  kLateWide,       // small integers, then a wide value in a late row
  kByteIntegers,   // -128 .. 127, all of 8-bit storage (not drawn at random)
  kWordIntegers,   // mostly -99 .. 99, some of all 16 bits (nor this)
};

// Problem texts made token by token: what the file says is what the tokens
// read as, so any value, form and white space can appear.
class ProblemMaker : public Draws {
 public:
  using Draws::Draws;

  struct Options {
    int n = 3;
    Style style = Style::kMixed;
    bool allow_special = true;   // inf / nan entries
    bool allow_weak = true;      // rows with |diagonal| equal to the sum
    double zero_share = 0.2;     // share of zero off-diagonal entries
    std::string tolerance = {};  // empty: a random one
    bool allow_failing = true;   // one problem in eight has a failing row
    bool weak_rows = false;      // every row but the first weakly dominant
    double special_share = 0;    // share of inf / nan off-diagonal entries
  };

  Style random_style() { return static_cast<Style>(uniform(0, static_cast<int>(Style::kLateWide))); }

  // White space between tokens: mostly a blank, sometimes anything.
  std::string separator() {
    if (chance(0.85)) return " ";
    return pick<std::string>({"\n", "\t", "  ", "\r\n", "\n\n", " \t ", "\v", "\f", "\r", "\n \n"});
  }

  // A token for a number of the given style.
  std::string number(Style style) {
    switch (style) {
      case Style::kTinyIntegers:
        return std::to_string(uniform(-9, 9));
      case Style::kByteEdges:
        return std::to_string(pick(std::vector<int>{-129, -128, -127, -100, 126, 127, 128, 129, uniform(-130, 130)}));
      case Style::kShortIntegers:
        return std::to_string(chance(0.3) ? pick<int>({-32769, -32768, -32767, 32766, 32767, 32768, 32769})
                                          : uniform(-32768, 32768));
      case Style::kLargeIntegers:
        return std::to_string(uniform(-10000000, 10000000));
      case Style::kByteIntegers:
        return std::to_string(uniform(-128, 127));
      case Style::kWordIntegers:
        return std::to_string(chance(0.1) ? uniform(-32768, 32767) : uniform(-99, 99));
      case Style::kDecimals:
        return printf_string("%.*f", uniform(1, 6), real(-100, 100));
      case Style::kExponents: {
        const double v = std::pow(10.0, real(-5, 5)) * (chance(0.5) ? -1 : 1);
        return printf_string(chance(0.5) ? "%.*e" : "%.*E", uniform(0, 8), v);
      }
      default: {  // kMixed, kLateWide
        const std::function<std::string()> forms[] = {
            [&] { return std::to_string(uniform(-9, 9)); },
            [&] { return std::to_string(uniform(-200, 200)); },
            [&] { return std::to_string(uniform(-40000, 40000)); },
            [&] { return printf_string("%.*f", uniform(1, 4), real(-50, 50)); },
            [&] { return printf_string("%.*e", uniform(0, 6), real(-1000, 1000)); },
            [&] { return printf_string("%a", static_cast<double>(static_cast<float>(real(-64, 64)))); },
            [&] { return printf_string("+%d", uniform(0, 99)); },
            [&] { return printf_string("%d.", uniform(-99, 99)); },
            [&] { return printf_string("%.1f", static_cast<double>(uniform(-20, 20))); },  // 200.0 style
            [&] { return printf_string(".%d", uniform(0, 999)); },
            [&] { return printf_string("%.0e", static_cast<double>(uniform(1, 9) * 100)); },  // 2e+02 style
            [&] { return printf_string("-%.3g", real(0, 10)); }};
        return forms[uniform(0, 11)]();
      }
    }
  }

  static float value_of(const std::string& token) {
    float v = 0.0f;
    literal::whole_float(token, &v);
    return v;
  }

  // A token that reads back as exactly v.
  std::string exact(float v) {
    if (std::isfinite(v) && v == std::nearbyint(v) && std::fabs(v) < 1e15f) return printf_string("%.0f", v);
    return printf_string(chance(0.3) ? "%a" : "%.9g", v);
  }

  std::string tolerance() {
    return pick<std::string>({"0", "0.001", "1e-6", "0.0001", "1e-2", "0.5", "1", "2", "-1", "-0.0", "nan", "1e-30",
                              "inf", "0.000001", "-inf", "+0.01", "0x1p-10"});
  }

  std::string special() {
    return pick<std::string>({"inf", "-inf", "nan", "-nan", "INF", "NaN", "infinity", "-Infinity", "+inf", "nAn"});
  }

  // The diagonal of a row whose other values sum to s: strictly dominant,
  // sometimes equal, in a failing row less.
  float diagonal(const Options& o, float s, bool failing, bool later) {
    float d = 0.0f;
    if (failing || !std::isfinite(s)) {
      d = s * 0.5f;
    } else if (o.weak_rows ? later : o.allow_weak && chance(0.07)) {
      d = s;
    } else {
      d = s * static_cast<float>(pick<double>({1.1, 1.5, 2.0, 3.0, 10.0, 1.25}));
      if (d == 0.0f) d = static_cast<float>(uniform(1, 50));
      if (o.style == Style::kTinyIntegers || o.style == Style::kShortIntegers || o.style == Style::kLargeIntegers)
        d = std::ceil(d);
    }
    return chance(0.5) ? -d : d;
  }

  // A whole problem text.
  std::string problem(const Options& o) {
    const int n = o.n;
    std::string text;
    auto put = [&](const std::string& token) { text += token + separator(); };
    put((chance(0.1) ? std::string("+") : std::string()) + std::to_string(n));
    put(o.tolerance.empty() ? tolerance() : o.tolerance);
    const bool zero_start = chance(0.5);
    for (int i = 0; i < n; ++i) put(zero_start ? "0" : number(chance(0.5) ? Style::kTinyIntegers : Style::kDecimals));
    const bool specials = o.allow_special && chance(0.1);
    // One problem in eight has a row that fails the pre-check.
    const int failing_row = chance(0.125) && o.allow_failing ? uniform(0, n - 1) : -1;
    const int late_row = o.style == Style::kLateWide ? std::max(0, n - 1 - uniform(0, std::min(n - 1, 3))) : -1;
    for (int i = 0; i < n; ++i) {
      std::vector<std::string> row(static_cast<size_t>(n));
      float s = 0.0f;
      for (int j = 0; j < n; ++j) {
        if (j == i) continue;
        std::string& token = row[static_cast<size_t>(j)];
        if (chance(o.zero_share))
          token = pick<std::string>({"0", "0", "0", "0.0", "-0", "0e5", "-0.0"});
        else if (o.special_share > 0 && chance(o.special_share))
          token = special();
        else if (o.style != Style::kLateWide)
          token = number(o.style);
        else if (i == late_row && chance(0.2))
          token = number(pick<Style>({Style::kShortIntegers, Style::kDecimals, Style::kLargeIntegers}));
        else
          token = number(Style::kTinyIntegers);
        s = s + std::fabs(value_of(token));
      }
      row[static_cast<size_t>(i)] = exact(diagonal(o, s, i == failing_row, i > 0));
      for (const std::string& token : row) put(token);
      text += number(chance(0.5) ? Style::kTinyIntegers : o.style == Style::kLateWide ? Style::kDecimals : o.style);
      text += chance(0.8) ? "\n" : separator();
    }
    // A few number tokens past the header replaced by inf or nan.
    for (int c = specials ? uniform(1, 2) : 0; c > 0; --c) {
      const std::vector<literal::Token> tokens = literal::token_spans(text);
      if (tokens.size() <= 2) break;
      const literal::Token t = tokens[static_cast<size_t>(uniform(2, static_cast<int>(tokens.size()) - 1))];
      text.replace(t.begin, t.end - t.begin, special());
    }
    return text;
  }
};

// A problem's values.
using Values = literal::Problem;

enum class Kind {
  small_integers,  // off-diagonal integers in [-128, 127]
  wide_integers,   // some need 16 bits
  decimals,        // non-integer values
  specials,        // zeros, infinities and NaNs among the coefficients
  weak,            // rows dominant only weakly, one strict
};

// The values of a random problem of the kind, every row strictly dominant
// unless the kind says otherwise; zeros of either sign (-0 takes floats) only
// among the specials.
inline Values random_values(int32_t n, Kind kind, uint32_t seed, float err = 1e-4f) {
  const Style styles[] = {Style::kByteIntegers, Style::kWordIntegers, Style::kDecimals, Style::kTinyIntegers,
                          Style::kTinyIntegers};
  const std::string text = ProblemMaker(seed).problem({.n = n,
                                                       .style = styles[static_cast<int>(kind)],
                                                       .allow_special = false,
                                                       .allow_weak = false,
                                                       .zero_share = kind == Kind::specials ? 0.2 : 0.0,
                                                       .tolerance = printf_string("%.9g", err),
                                                       .allow_failing = false,
                                                       .weak_rows = kind == Kind::weak,
                                                       .special_share = kind == Kind::specials ? 0.02 : 0.0});
  Values v;
  if (!literal::read_problem(text, v)) throw std::logic_error("a random problem that does not read");
  return v;
}

// Exact text of a float: "%.9g" reads back as the same float, and inf and
// nan keep their sign.
inline std::string token(float f) {
  if (std::isnan(f)) return std::signbit(f) ? "-nan" : "nan";
  return printf_string("%.9g", static_cast<double>(f));
}

// A text that holds the values exactly.
inline std::string problem_text(const Values& v, const char* separator = " ", const char* line_end = "\n") {
  std::string text = std::to_string(v.num) + line_end + token(v.err) + line_end;
  for (float f : v.x) text += token(f) + separator;
  text += line_end;
  for (int32_t i = 0; i < v.num; ++i) {
    for (int32_t j = 0; j < v.num; ++j) text += token(v.a[static_cast<size_t>(i) * v.num + j]) + separator;
    text += token(v.b[static_cast<size_t>(i)]) + line_end;
  }
  return text;
}

}  // namespace testing_support

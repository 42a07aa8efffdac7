// Shared parts of the end-to-end tests of the built itsolv: the temp-dir
// fixture, the literal reference outcome of a problem text, checks of a run
// against it, and writers of random problem texts and of corrupted ones.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "support/literal_solver.hpp"
#include "support/run_program.hpp"
#include "support/temp_files.hpp"

namespace cli {

using testing_support::run_all;
using testing_support::run_program;
using testing_support::RunOptions;
using testing_support::RunResult;
using testing_support::TempDir;

inline const std::string kItsolv = ITSOLV_PATH;

// Each test gets a directory of its own for its problem files.
class CliTest : public ::testing::Test {
 protected:
  std::string write(const std::string& name, const std::string& bytes) const { return dir_.write(name, bytes); }
  const std::string& dir() const { return dir_.path(); }

  RunResult itsolv(const std::vector<std::string>& args, const RunOptions& options = {}) const {
    return run_program(kItsolv, args, options);
  }
  RunResult solve(const std::string& path, const RunOptions& options = {}) const { return itsolv({path}, options); }
  // Writes `text` to a file called `name` and runs itsolv on it.
  RunResult solve_text(const std::string& text, const std::string& name = "p.txt",
                       const RunOptions& options = {}) const {
    return solve(write(name, text), options);
  }

 private:
  TempDir dir_;
};

using literal::Token;

// ---------------------------------------------------------------------------
// The reference outcome of a problem text.

struct Reference {
  enum Kind {
    kOutcome,        // a complete problem: exactly this output and status
    kNegativeCount,  // "Cannot allocate a!"
    kUnreadable,     // one "Cannot read file <path>: ..." line
  } kind = kUnreadable;
  literal::Outcome outcome;
};

// literal::solve_text, plus the negative count that it does not cover.
inline Reference reference(const std::string& text) {
  Reference r;
  const std::vector<std::string> head = literal::tokens_of(text, 2);
  int32_t count = 0;
  if (!head.empty() && !literal::whole_count(head[0], count)) return r;
  if (count < 0) {  // whatever follows the count
    r.kind = Reference::kNegativeCount;
    return r;
  }
  if (literal::solve_text(text, r.outcome)) r.kind = Reference::kOutcome;
  return r;
}

// Lines of a text, each without its line break; a last line without one is
// kept as it is.
inline std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> out;
  size_t start = 0;
  while (start < text.size()) {
    const size_t nl = text.find('\n', start);
    if (nl == std::string::npos) {
      out.push_back(text.substr(start));
      break;
    }
    out.push_back(text.substr(start, nl - start));
    start = nl + 1;
  }
  return out;
}

inline std::string shown(const std::string& bytes, size_t limit = 600) {
  std::string out;
  for (size_t i = 0; i < bytes.size() && i < limit; ++i) {
    const unsigned char c = static_cast<unsigned char>(bytes[i]);
    if (c == '\n') {
      out += "\\n\n";
    } else if (c >= 0x20 && c < 0x7f && c != '\\') {
      out += static_cast<char>(c);
    } else {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02x", c);
      out += hex;
    }
  }
  if (bytes.size() > limit) out += "... (" + std::to_string(bytes.size()) + " bytes)";
  return out;
}

// The run ended by exit with `status` and printed exactly `out` on standard
// output and nothing on standard error.
inline ::testing::AssertionResult printed(const RunResult& run, const std::string& out, int status) {
  if (!run.exited || run.status != status || run.out != out || !run.err.empty())
    return ::testing::AssertionFailure() << "expected exit " << status << " and output\n"
                                         << shown(out) << "\ngot " << run.how() << " and output\n"
                                         << shown(run.out) << "\nstandard error: " << shown(run.err);
  return ::testing::AssertionSuccess();
}

// The run refused the file with one line "Cannot read file <path>: reason"
// and status 1; `mention`, when given, must appear in the reason.
inline ::testing::AssertionResult read_refusal(const RunResult& run, const std::string& path,
                                               const std::string& mention = "") {
  const std::string prefix = "Cannot read file " + path + ": ";
  auto failure = [&]() {
    return ::testing::AssertionFailure() << "expected one line \"" << prefix << "...\""
                                         << (mention.empty() ? "" : " mentioning \"" + mention + "\"")
                                         << " and exit 1, got " << run.how() << " and output\n"
                                         << shown(run.out) << "\nstandard error: " << shown(run.err);
  };
  if (!run.exited || run.status != 1 || !run.err.empty()) return failure();
  if (run.out.compare(0, prefix.size(), prefix) != 0) return failure();
  if (run.out.size() <= prefix.size() + 1 || run.out.back() != '\n' || run.out.find('\n') != run.out.size() - 1)
    return failure();
  if (!mention.empty() && run.out.find(mention, prefix.size()) == std::string::npos) return failure();
  return ::testing::AssertionSuccess();
}

// The run did what the reference says for `text`, the bytes of `path`.
inline ::testing::AssertionResult agrees(const RunResult& run, const std::string& text, const std::string& path) {
  const Reference ref = reference(text);
  ::testing::AssertionResult result = ::testing::AssertionSuccess();
  switch (ref.kind) {
    case Reference::kOutcome:
      result = printed(run, ref.outcome.out, ref.outcome.status);
      break;
    case Reference::kNegativeCount:
      result = printed(run, "Cannot allocate a!\n", 1);
      break;
    case Reference::kUnreadable:
      result = read_refusal(run, path);
      break;
  }
  if (!result) result << "\nfor the file\n" << shown(text, 3000);
  return result;
}

// ---------------------------------------------------------------------------
// Random problem texts.

inline std::string format(const char* fmt, double v) {
  char text[128];
  std::snprintf(text, sizeof text, fmt, v);
  return text;
}

// "prefix<k>.txt": a file name for case k.
inline std::string numbered(const char* prefix, int k) {
  char text[64];
  std::snprintf(text, sizeof text, "%s%d.txt", prefix, k);
  return text;
}

inline std::string format(const char* fmt, int precision, double v) {
  char text[128];
  std::snprintf(text, sizeof text, fmt, precision, v);
  return text;
}

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
  kCount
};

class ProblemMaker {
 public:
  explicit ProblemMaker(uint64_t seed) : rng_(seed) {}

  struct Options {
    int n = 3;
    Style style = Style::kMixed;
    bool allow_special = true;  // inf / nan entries
    bool allow_weak = true;     // rows with |diagonal| equal to the sum
    double zero_share = 0.2;    // share of zero off-diagonal entries
    std::string tolerance;      // empty: a random one
  };

  std::mt19937_64& rng() { return rng_; }
  int uniform(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng_); }
  double real(double lo, double hi) { return std::uniform_real_distribution<double>(lo, hi)(rng_); }
  bool chance(double p) { return std::bernoulli_distribution(p)(rng_); }
  template <typename T>
  const T& pick(const std::vector<T>& items) {
    return items[static_cast<size_t>(uniform(0, static_cast<int>(items.size()) - 1))];
  }

  Style random_style() { return static_cast<Style>(uniform(0, static_cast<int>(Style::kCount) - 1)); }

  // White space between tokens: mostly a blank, sometimes anything.
  std::string separator() {
    if (chance(0.85)) return " ";
    static const std::vector<std::string> kinds = {"\n", "\t", "  ", "\r\n", "\n\n", " \t ", "\v", "\f", "\r", "\n \n"};
    return pick(kinds);
  }

  // A token for a number of the given style.
  std::string number(Style style) {
    switch (style) {
      case Style::kTinyIntegers:
        return std::to_string(uniform(-9, 9));
      case Style::kByteEdges:
        return std::to_string(pick(std::vector<int>{-129, -128, -127, -100, 126, 127, 128, 129, uniform(-130, 130)}));
      case Style::kShortIntegers:
        return std::to_string(chance(0.3) ? pick(std::vector<int>{-32769, -32768, -32767, 32766, 32767, 32768, 32769})
                                          : uniform(-32768, 32768));
      case Style::kLargeIntegers:
        return std::to_string(uniform(-10000000, 10000000));
      case Style::kDecimals:
        return format("%.*f", uniform(1, 6), real(-100, 100));
      case Style::kExponents: {
        const double v = std::pow(10.0, real(-5, 5)) * (chance(0.5) ? -1 : 1);
        return format(chance(0.5) ? "%.*e" : "%.*E", uniform(0, 8), v);
      }
      case Style::kLateWide:
      case Style::kMixed:
      default: {
        switch (uniform(0, 11)) {
          case 0:
            return std::to_string(uniform(-9, 9));
          case 1:
            return std::to_string(uniform(-200, 200));
          case 2:
            return std::to_string(uniform(-40000, 40000));
          case 3:
            return format("%.*f", uniform(1, 4), real(-50, 50));
          case 4:
            return format("%.*e", uniform(0, 6), real(-1000, 1000));
          case 5:
            return format("%a", static_cast<double>(static_cast<float>(real(-64, 64))));
          case 6:
            return "+" + std::to_string(uniform(0, 99));
          case 7:
            return std::to_string(uniform(-99, 99)) + ".";
          case 8:
            return format("%.1f", uniform(-20, 20));  // 200.0 style
          case 9:
            return "." + std::to_string(uniform(0, 999));
          case 10:
            return format("%.0e", static_cast<double>(uniform(1, 9) * 100));  // 2e+02 style
          default:
            return "-" + format("%.3g", real(0, 10));
        }
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
    if (std::isfinite(v) && v == std::nearbyint(v) && std::fabs(v) < 1e15f)
      return format("%.0f", static_cast<double>(v));
    if (chance(0.3)) return format("%a", static_cast<double>(v));
    return format("%.9g", static_cast<double>(v));
  }

  std::string tolerance() {
    static const std::vector<std::string> kinds = {"0",   "0.001",    "1e-6", "0.0001", "1e-2",   "0.5",
                                                   "1",   "2",        "-1",   "-0.0",   "nan",    "1e-30",
                                                   "inf", "0.000001", "-inf", "+0.01",  "0x1p-10"};
    return pick(kinds);
  }

  std::string special() {
    static const std::vector<std::string> kinds = {"inf", "-inf",     "nan",       "-nan", "INF",
                                                   "NaN", "infinity", "-Infinity", "+inf", "nAn"};
    return pick(kinds);
  }

  // A whole problem text.
  std::string problem(const Options& o) {
    const int n = o.n;
    std::string text;
    auto put = [&](const std::string& token) {
      text += token;
      text += separator();
    };
    put(chance(0.1) ? "+" + std::to_string(n) : std::to_string(n));
    put(o.tolerance.empty() ? tolerance() : o.tolerance);
    const bool zero_start = chance(0.5);
    for (int i = 0; i < n; ++i) put(zero_start ? "0" : number(chance(0.5) ? Style::kTinyIntegers : Style::kDecimals));
    const bool specials = o.allow_special && chance(0.1);
    // One problem in eight has a row that fails the pre-check.
    const int failing_row = chance(0.125) ? uniform(0, n - 1) : -1;
    const int late_row = o.style == Style::kLateWide ? std::max(0, n - 1 - uniform(0, std::min(n - 1, 3))) : -1;
    for (int i = 0; i < n; ++i) {
      std::vector<std::string> row(static_cast<size_t>(n));
      float s = 0.0f;
      for (int j = 0; j < n; ++j) {
        if (j == i) continue;
        std::string token;
        if (chance(o.zero_share)) {
          token = pick(std::vector<std::string>{"0", "0", "0", "0.0", "-0", "0e5", "-0.0"});
        } else if (o.style == Style::kLateWide) {
          token = i == late_row && chance(0.2)
                      ? number(pick(std::vector<Style>{Style::kShortIntegers, Style::kDecimals, Style::kLargeIntegers}))
                      : number(Style::kTinyIntegers);
        } else {
          token = number(o.style);
        }
        row[static_cast<size_t>(j)] = token;
        s = s + std::fabs(value_of(token));
      }
      // The diagonal: strictly dominant, sometimes equal, in one row less.
      float d = 0.0f;
      if (i == failing_row || !std::isfinite(s)) {
        d = s * 0.5f;
      } else if (o.allow_weak && chance(0.07)) {
        d = s;
      } else {
        d = s * static_cast<float>(pick(std::vector<double>{1.1, 1.5, 2.0, 3.0, 10.0, 1.25}));
        if (d == 0.0f) d = static_cast<float>(uniform(1, 50));
        if (o.style == Style::kTinyIntegers || o.style == Style::kShortIntegers || o.style == Style::kLargeIntegers)
          d = std::ceil(d);
      }
      if (chance(0.5)) d = -d;
      row[static_cast<size_t>(i)] = exact(d);
      for (const std::string& token : row) put(token);
      text += number(chance(0.5) ? Style::kTinyIntegers : o.style == Style::kLateWide ? Style::kDecimals : o.style);
      text += chance(0.8) ? "\n" : separator();
    }
    if (specials) {
      // Replace a few number tokens past the header by inf or nan.
      std::vector<Token> tokens = literal::token_spans(text);
      const int changes = uniform(1, 2);
      for (int c = 0; c < changes && tokens.size() > 2; ++c) {
        const Token t = tokens[static_cast<size_t>(uniform(2, static_cast<int>(tokens.size()) - 1))];
        text.replace(t.begin, t.end - t.begin, special());
        tokens = literal::token_spans(text);
      }
    }
    return text;
  }

 private:
  std::mt19937_64 rng_;
};

// ---------------------------------------------------------------------------
// Corruption of problem texts.

class Mutator {
 public:
  explicit Mutator(uint64_t seed) : rng_(seed) {}

  int uniform(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng_); }

  // Applies one to three random corruptions.
  std::string corrupt(std::string text) {
    const int count = uniform(1, 3);
    for (int k = 0; k < count; ++k) text = once(std::move(text));
    return text;
  }

 private:
  std::string junk() {
    static const std::string kBytes =
        std::string("0123456789.eE+-xXpPabcfinINFNA \t\n\r\v\f,;#") + std::string("\0\xff\x80\xa0\x1c", 5);
    std::string out;
    const int length = uniform(1, 4);
    for (int i = 0; i < length; ++i)
      out += kBytes[static_cast<size_t>(uniform(0, static_cast<int>(kBytes.size()) - 1))];
    return out;
  }

  std::string once(std::string text) {
    const std::vector<Token> tokens = literal::token_spans(text);
    auto any_token = [&]() { return tokens[static_cast<size_t>(uniform(0, static_cast<int>(tokens.size()) - 1))]; };
    const int op = uniform(0, 9);
    if (text.empty()) return junk();
    const size_t pos = static_cast<size_t>(uniform(0, static_cast<int>(text.size()) - 1));
    switch (op) {
      case 0:  // a byte replaced by any byte
        text[pos] = static_cast<char>(uniform(0, 255));
        return text;
      case 1:  // one bit flipped
        text[pos] = static_cast<char>(text[pos] ^ (1 << uniform(0, 7)));
        return text;
      case 2:  // the end cut off
        text.resize(pos);
        return text;
      case 3:  // junk inserted
        text.insert(pos, junk());
        return text;
      case 4:  // a byte removed
        text.erase(pos, 1);
        return text;
      default:
        break;
    }
    if (tokens.empty()) return text + junk();
    const Token t = any_token();
    const std::string token = text.substr(t.begin, t.end - t.begin);
    switch (op) {
      case 5:  // a token duplicated
        text.insert(t.end, " " + token);
        return text;
      case 6:  // a token removed
        text.erase(t.begin, t.end - t.begin);
        return text;
      case 7: {  // a token replaced by a notable one
        static const std::vector<std::string> kTokens = {
            "nan", "inf",        "-inf", "-0",    "1e40", "1e-45", "0x1p3",  "abc",         "99999999999",
            "-1",  "2147483648", "0",    "1.5.2", "37x",  "+",     "-",      ".",           "1e",
            "0x",  "2.5",        "1e3",  "+7",    "0007", "-nan",  "NAN(x)", "3.4028236e38", "2e", "0x1p+", "0x."};
        text.replace(t.begin, t.end - t.begin,
                     kTokens[static_cast<size_t>(uniform(0, static_cast<int>(kTokens.size()) - 1))]);
        return text;
      }
      case 8: {  // two tokens swapped
        const Token u = any_token();
        if (u.begin == t.begin) return text;
        const Token first = u.begin < t.begin ? u : t, second = u.begin < t.begin ? t : u;
        const std::string a = text.substr(first.begin, first.end - first.begin);
        const std::string b = text.substr(second.begin, second.end - second.begin);
        text.replace(second.begin, b.size(), a);
        text.replace(first.begin, a.size(), b);
        return text;
      }
      default:  // a token's digits changed
        for (size_t i = t.begin; i < t.end; ++i)
          if (text[i] >= '0' && text[i] <= '9') {
            text[i] = static_cast<char>('0' + uniform(0, 9));
            break;
          }
        return text;
    }
  }

  std::mt19937_64 rng_;
};

}  // namespace cli

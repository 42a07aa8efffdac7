// A second solver that follows the solver's rules literally: the tokens
// read one at a time with strtol and the C library's "%f" scan, a row-major
// matrix of floats, the pre-check's row sums in column order, and every
// sweep a plain loop over the rows, one row at a time. The fast solver must
// print exactly what this one prints, for every file; the tests and the
// loader's fuzz target check the loader's values and the pre-check against
// its pieces.
#pragma once

#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace literal {

struct Outcome {
  std::string out;  // everything printed
  int status = 0;
  std::string monitor;  // "SWEEP CHANGE" for every sweep, as --monitor prints them
};

inline bool space(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

// Where the tokens of a text are, at most `most` of them.
struct Token {
  size_t begin, end;
};

inline std::vector<Token> token_spans(std::string_view text, size_t most = SIZE_MAX) {
  std::vector<Token> out;
  for (size_t i = 0; out.size() < most;) {
    while (i < text.size() && space(text[i])) ++i;
    if (i == text.size()) break;
    const size_t start = i;
    while (i < text.size() && !space(text[i])) ++i;
    out.push_back({start, i});
  }
  return out;
}

inline std::vector<std::string> tokens_of(std::string_view text, size_t most = SIZE_MAX) {
  std::vector<std::string> out;
  for (const Token& t : token_spans(text, most)) out.emplace_back(text.substr(t.begin, t.end - t.begin));
  return out;
}

// A whole token that the C library's "%f" scan reads completely (no NUL
// inside), with the value it stores.
inline bool whole_float(const std::string& token, float* value = nullptr) {
  if (token.empty() || token.find('\0') != std::string::npos) return false;
  float v = 0;
  int used = -1;
  if (std::sscanf(token.c_str(), "%f%n", &v, &used) != 1 || used != static_cast<int>(token.size())) return false;
  if (value != nullptr) *value = v;
  return true;
}

// A whole token that strtoll reads completely in base 10, within 32 bits.
inline bool whole_count(const std::string& token, int32_t& value) {
  if (token.empty() || token.find('\0') != std::string::npos) return false;
  char* stop = nullptr;
  errno = 0;
  const long long v = std::strtoll(token.c_str(), &stop, 10);
  if (errno != 0 || stop != token.c_str() + token.size() || v < INT32_MIN || v > INT32_MAX) return false;
  value = static_cast<int32_t>(v);
  return true;
}

// A problem as read: the count, the tolerance, then row-major values, the
// diagonal in place.
struct Problem {
  int32_t num = 0;
  float err = 0.0f;
  std::vector<float> x, a, b;
  float& at(int32_t i, int32_t j) { return a[static_cast<size_t>(i) * num + j]; }
};

// Reads a whole problem token by token; false when the text is not one (a
// negative count, or fewer whole numbers than the count asks for). A count
// that the text cannot hold is refused before anything is allocated. A text
// without a token, or with the count 0 whatever follows, is the empty
// problem.
inline bool read_problem(std::string_view text, Problem& p) {
  const std::vector<std::string> head = tokens_of(text, 2);
  if (head.empty()) return true;
  if (!whole_count(head[0], p.num) || p.num < 0) return false;
  if (p.num == 0) return true;
  if (head.size() < 2 || !whole_float(head[1], &p.err)) return false;
  const uint64_t n = static_cast<uint64_t>(p.num), total = 2 + n * (n + 2);
  if (total > text.size()) return false;  // each value takes a byte at least
  const std::vector<std::string> all = tokens_of(text, static_cast<size_t>(total));
  if (all.size() < total) return false;
  p.x.resize(static_cast<size_t>(n));
  p.a.resize(static_cast<size_t>(n * n));
  p.b.resize(static_cast<size_t>(n));
  for (size_t k = 0; k < n; ++k)
    if (!whole_float(all[k + 2], &p.x[k])) return false;
  for (size_t i = 0; i < n; ++i)
    for (size_t j = 0; j <= n; ++j)
      if (!whole_float(all[2 + n + i * (n + 1) + j], j < n ? &p.a[i * n + j] : &p.b[i])) return false;
  return true;
}

// The pre-check of rows [begin, end): the first row whose off-diagonal sum
// is above its diagonal, with both values; else the strictly dominant rows.
struct RowCheck {
  int32_t failing_row = -1;
  float d = 0.0f, s = 0.0f;
  int64_t strict = 0;
};

inline RowCheck check_rows(int32_t num, const std::vector<float>& a, int32_t begin, int32_t end) {
  RowCheck c;
  for (int32_t i = begin; i < end; ++i) {
    const float d = std::fabs(a[static_cast<size_t>(i) * num + i]);
    float s = 0.0f;
    for (int32_t k = 0; k < num; ++k)
      if (k != i) s = s + std::fabs(a[static_cast<size_t>(i) * num + k]);
    if (s > d) return {i, d, s, c.strict};
    if (d > s) ++c.strict;
  }
  return c;
}

// What printf would print for `format` and its arguments (a float among
// them is passed as a double, as to printf).
template <typename... Args>
inline std::string printf_string(const char* format, Args... args) {
  char line[512];
  std::snprintf(line, sizeof line, format, args...);
  return line;
}

// Solves an already loaded problem; the loading rules themselves are the
// loader's tests' business.
inline Outcome solve(int32_t num, float err, const std::vector<float>& a /* row-major */, const std::vector<float>& b,
                     std::vector<float> x) {
  const RowCheck check = check_rows(num, a, 0, num);
  if (check.failing_row >= 0)
    return {"The matrix will not converge.\n" + printf_string("aii = %f  sum = %f\n", check.d, check.s), 1, ""};
  if (check.strict == 0) return {"The matrix will not converge...\n", 1, ""};
  Outcome o;
  // Sweeps, with the check for an estimate that repeats an earlier one.
  std::vector<float> curr(static_cast<size_t>(num)), checkpoint;
  long long sweeps = 0, checkpoint_sweep = 0;
  for (;;) {
    curr = x;
    for (int32_t i = 0; i < num; ++i) {
      float s = 0.0f;
      for (int32_t j = 0; j < num; ++j) {
        if (j == i) continue;
        s = curr[j] * a[static_cast<size_t>(i) * num + j] + s;
      }
      x[i] = (b[i] - s) / a[static_cast<size_t>(i) * num + i];
    }
    float m = std::fabs((x[0] - curr[0]) / x[0]);
    for (int32_t i = 1; i < num; ++i) {
      const float c = std::fabs((x[i] - curr[i]) / x[i]);
      if (c > m) m = c;
    }
    ++sweeps;
    o.monitor += std::to_string(sweeps) + " " + (std::isnan(m) ? "nan" : printf_string("%g", m)) + "\n";
    if (!(m > err)) break;
    if (checkpoint_sweep > 0 && std::memcmp(checkpoint.data(), x.data(), x.size() * sizeof(float)) == 0) {
      o.out =
          printf_string("The iteration will not converge: sweep %lld repeats sweep %lld.\n", sweeps, checkpoint_sweep);
      o.status = 1;
      return o;
    }
    if ((sweeps & (sweeps - 1)) == 0) {
      checkpoint = x;
      checkpoint_sweep = sweeps;
    }
  }
  for (int32_t i = 0; i < num; ++i) o.out += printf_string("%f\n", x[i]);
  o.out += printf_string("total number of iterations: %lld\n", sweeps);
  return o;
}

// Reads a whole problem text and solves it. Returns false when the text is
// not a complete problem (those files are refused, and the loader's tests
// say how).
inline bool solve_text(const std::string& text, Outcome& outcome) {
  Problem p;
  if (!read_problem(text, p)) return false;
  if (p.num == 0) {
    outcome = {"The matrix will not converge...\n", 1, ""};
    return true;
  }
  outcome = solve(p.num, p.err, p.a, p.b, std::move(p.x));
  return true;
}

}  // namespace literal

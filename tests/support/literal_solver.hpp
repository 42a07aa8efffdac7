// A second solver that follows the solver's rules literally: the tokens
// read one at a time with the C library's "%f" scan, a row-major matrix of floats, and every
// sweep a plain loop over the rows, one row at a time. The fast solver must
// print exactly what this one prints, for every file.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace literal {

struct Outcome {
  std::string out;  // everything printed
  int status = 0;
  std::string monitor;  // "SWEEP CHANGE" for every sweep, as --monitor prints them
};

inline bool space(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

inline std::string printf_string(const char* format, double a, double b = 0) {
  char line[512];
  std::snprintf(line, sizeof line, format, a, b);
  return line;
}

// Solves an already loaded problem; the loading rules themselves are the
// loader's tests' business.
inline Outcome solve(int32_t num, float err, const std::vector<float>& a /* row-major */,
                     const std::vector<float>& b, std::vector<float> x) {
  Outcome o;
  // Pre-check.
  int strict = 0;
  for (int32_t i = 0; i < num; ++i) {
    const float d = std::fabs(a[static_cast<size_t>(i) * num + i]);
    float s = 0.0f;
    for (int32_t k = 0; k < num; ++k)
      if (k != i) s = s + std::fabs(a[static_cast<size_t>(i) * num + k]);
    if (s > d) {
      o.out = "The matrix will not converge.\n" + printf_string("aii = %f  sum = %f\n", d, s);
      o.status = 1;
      return o;
    }
    if (d > s) ++strict;
  }
  if (strict == 0) {
    o.out = "The matrix will not converge...\n";
    o.status = 1;
    return o;
  }
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
      char line[200];
      std::snprintf(line, sizeof line, "The iteration will not converge: sweep %lld repeats sweep %lld.\n", sweeps,
                    checkpoint_sweep);
      o.out = line;
      o.status = 1;
      return o;
    }
    if ((sweeps & (sweeps - 1)) == 0) {
      checkpoint = x;
      checkpoint_sweep = sweeps;
    }
  }
  for (int32_t i = 0; i < num; ++i) o.out += printf_string("%f\n", x[i]);
  char line[100];
  std::snprintf(line, sizeof line, "total number of iterations: %lld\n", sweeps);
  o.out += line;
  return o;
}

// Reads a whole, well-formed problem text with sscanf, token by token, and
// solves it. Returns false when the text is not a complete problem (those
// files are refused, and the loader's tests say how).
inline bool solve_text(const std::string& text, Outcome& outcome) {
  std::vector<std::string> tokens;
  size_t i = 0;
  const size_t n_text = text.size();
  auto next = [&](std::string& token) {
    while (i < n_text && space(text[i])) ++i;
    if (i == n_text) return false;
    const size_t start = i;
    while (i < n_text && !space(text[i])) ++i;
    token = text.substr(start, i - start);
    return true;
  };
  auto number = [&](float& v) {
    std::string token;
    if (!next(token) || token.find('\0') != std::string::npos) return false;
    int used = -1;
    return std::sscanf(token.c_str(), "%f%n", &v, &used) == 1 && used == static_cast<int>(token.size());
  };
  std::string token;
  if (!next(token)) return false;
  char* stop = nullptr;
  const long long count = std::strtoll(token.c_str(), &stop, 10);
  if (stop != token.c_str() + token.size() || count < 0 || count > 100000) return false;
  const int32_t num = static_cast<int32_t>(count);
  float err = 0;
  if (!number(err)) return false;
  std::vector<float> x(static_cast<size_t>(num)), a(static_cast<size_t>(num) * num), b(static_cast<size_t>(num));
  for (auto& v : x)
    if (!number(v)) return false;
  for (int32_t r = 0; r < num; ++r) {
    for (int32_t c = 0; c < num; ++c)
      if (!number(a[static_cast<size_t>(r) * num + c])) return false;
    if (!number(b[static_cast<size_t>(r)])) return false;
  }
  if (num == 0) {
    outcome = {"The matrix will not converge...\n", 1, ""};
    return true;
  }
  outcome = solve(num, err, a, b, std::move(x));
  return true;
}

}  // namespace literal

// Fills a Problem directly from values, in a chosen storage or wider, so that
// tests can drive the pre-check and the sweeps without a file; loads one
// from a file; and checks that it holds the values.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "base/failure.hpp"
#include "load/loader.hpp"
#include "matrix/matrix.hpp"
#include "matrix/problem.hpp"
#include "support/problem_access.hpp"
#include "support/problem_texts.hpp"
#include "support/team.hpp"

// Loads the file at `path` with a team of `threads`; the failure's message,
// or "" when it loads.
inline std::string load_message(itsolv::Problem& p, const std::string& path, int threads,
                                const itsolv::LoadOptions& options = {}, common::Progress* progress = nullptr) {
  try {
    itsolv::get_input(p, path.c_str(), testing_support::team(threads), options, progress);
  } catch (const itsolv::Failure& f) {
    return f.message;
  }
  return "";
}

// Stores v, which must fit the matrix's storage, at (row, col).
inline void set_coefficient(itsolv::Matrix& a, int32_t row, int32_t col, float v) {
  itsolv::by_storage(a.storage(),
                     [&](auto t) { a.data<decltype(t)>()[a.index(row, col)] = static_cast<decltype(t)>(v); });
}

inline void load_values(itsolv::Problem& p, const testing_support::Values& v,
                        itsolv::Storage at_least = itsolv::Storage::i8) {
  using itsolv::Storage;
  const int32_t n = v.num;
  p.num = n;
  p.err = v.err;
  Storage need = at_least;
  for (int32_t i = 0; i < n; ++i)
    for (int32_t j = 0; j < n; ++j) {
      const Storage s = itsolv::storage_for(v.a[static_cast<size_t>(i) * n + j]);
      if (i != j && s > need) need = s;
    }
  if (!p.a.allocate(n) || !p.a.widen(need, n) || !p.diag.allocate(n) || !p.b.allocate(n) || !p.x.allocate(n) ||
      !p.curr.allocate(n))
    throw std::bad_alloc();
  for (int32_t i = 0; i < n; ++i) {
    for (int32_t j = 0; j < n; ++j) {
      const float c = v.a[static_cast<size_t>(i) * n + j];
      if (i == j)
        p.diag[i] = c;
      else
        set_coefficient(p.a, i, j, c);
    }
    p.b[i] = v.b[static_cast<size_t>(i)];
    p.x[i] = v.x[static_cast<size_t>(i)];
  }
}

// The problem holds the values, bit for bit.
inline ::testing::AssertionResult holds(const itsolv::Problem& p, const testing_support::Values& v) {
  const std::string difference = testing_support::difference(p, v);
  if (difference.empty()) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << difference;
}

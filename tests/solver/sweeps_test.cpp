// Every kernel (instruction set x storage) on every team size gives the bits
// of the literal solver.
#include "solve/sweeps.hpp"

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <memory>
#include <tuple>

#include "solve/solve.hpp"
#include "support/isas.hpp"
#include "support/literal_solver.hpp"
#include "support/load_values.hpp"
#include "support/problem_access.hpp"
#include "support/team.hpp"

using itsolv::Isa;
using itsolv::Storage;
using testing_support::Kind;
using testing_support::team;
using testing_support::Values;

namespace {

literal::Outcome literal_outcome(const Values& v) { return literal::solve(v.num, v.err, v.a, v.b, v.x); }

itsolv::Outcome fast_outcome(const Values& v, Isa isa, Storage storage, int threads) {
  itsolv::Team ctx{team(threads), isa};
  ctx.threshold = 0;  // split even the smallest problems
  itsolv::Problem p;
  load_values(p, v, storage);
  return itsolv::solve(p, ctx);
}

std::vector<Isa> isas() { return testing_support::supported_isas(); }

// Sizes round the vector widths and the panel height.
std::vector<int32_t> sizes() {
  std::vector<int32_t> out;
  for (int32_t n = 1; n <= 70; ++n) out.push_back(n);
  for (int32_t n : {127, 128, 129, 130, 191, 193}) out.push_back(n);
  return out;
}

void expect_all_kernels_agree(const Values& v, const std::vector<Storage>& storages) {
  const literal::Outcome want = literal_outcome(v);
  for (Isa isa : isas())
    for (Storage storage : storages)
      for (int threads : {1, 2, 3}) {
        const itsolv::Outcome got = fast_outcome(v, isa, storage, threads);
        ASSERT_EQ(got.text, want.out) << "n=" << v.num << " isa=" << itsolv::isa_name(isa)
                                      << " storage=" << static_cast<int>(storage) << " threads=" << threads;
        ASSERT_EQ(got.status, want.status);
      }
}

}  // namespace

// Small integers in every storage, wide ones in 16 bits and floats,
// decimals in floats.
TEST(KernelsAgree, EachKindOfValueInEveryStorageThatHoldsIt) {
  for (int32_t n : sizes()) {
    expect_all_kernels_agree(testing_support::random_values(n, Kind::small_integers, 100 + n),
                             {Storage::i8, Storage::i16, Storage::f32});
    expect_all_kernels_agree(testing_support::random_values(n, Kind::wide_integers, 200 + n),
                             {Storage::i16, Storage::f32});
    expect_all_kernels_agree(testing_support::random_values(n, Kind::decimals, 300 + n), {Storage::f32});
  }
}

TEST(KernelsAgree, ZerosInfinitiesAndNaNs) {
  for (int32_t n : sizes()) {
    Values v = testing_support::random_values(n, Kind::specials, 400 + n);
    expect_all_kernels_agree(v, {Storage::f32});
    // NaN and infinite starting values flow through the products too.
    v.x[0] = std::numeric_limits<float>::quiet_NaN();
    if (n > 2) v.x[2] = -std::numeric_limits<float>::infinity();
    expect_all_kernels_agree(v, {Storage::f32});
  }
  // A NaN meets a NaN of the other sign in the columns before a row's own
  // panel of 64 rows (row 100) and after it (row 70): the sum's operand
  // order decides which sign the row's value gets.
  Values v = testing_support::random_values(130, Kind::decimals, 401);
  const float nan = std::numeric_limits<float>::quiet_NaN();
  for (auto [i, j] : {std::pair{100, 0}, std::pair{70, 128}}) {
    v.at(i, j) = nan;
    v.at(i, j + 1) = -nan;
  }
  expect_all_kernels_agree(v, {Storage::f32});
}

// Weakly dominant rows, and tolerances of zero, negative, NaN and one.
TEST(KernelsAgree, WeakRowsAndEveryKindOfTolerance) {
  for (int32_t n : {2, 3, 17, 64, 65, 130})
    expect_all_kernels_agree(testing_support::random_values(n, Kind::weak, 500 + n, 1e-3f),
                             {Storage::i8, Storage::f32});
  for (float err : {0.0f, -1.0f, std::numeric_limits<float>::quiet_NaN(), 1.0f})
    expect_all_kernels_agree(testing_support::random_values(37, Kind::small_integers, 600, err), {Storage::i8});
}

TEST(KernelsAgree, ALargerProblem) {
  const Values v = testing_support::random_values(1000, Kind::small_integers, 700);
  const literal::Outcome want = literal_outcome(v);
  for (Isa isa : isas())
    for (int threads : {1, 2, 3}) {
      EXPECT_EQ(fast_outcome(v, isa, Storage::i8, threads).text, want.out) << itsolv::isa_name(isa) << threads;
    }
  EXPECT_EQ(fast_outcome(v, itsolv::best_isa(), Storage::f32, 2).text, want.out);
}

// One sweep of the kernels equals update_var row by row.
TEST(Sweep, EqualsUpdateVarForEachRow) {
  const Values v = testing_support::random_values(77, Kind::decimals, 800);
  itsolv::Team ctx{team(2)};
  itsolv::Problem fast, plain;
  load_values(fast, v);
  load_values(plain, v);
  itsolv::sweep(fast, ctx);
  itsolv::copy_curr(plain);
  for (int32_t i = 0; i < plain.num; ++i) testing_support::update_var(plain, i);
  EXPECT_EQ(0, std::memcmp(fast.x.data(), plain.x.data(), 77 * sizeof(float)));
}

TEST(GetMaxErr, NaNInFirstComponentIsKeptElsewherePassedOver) {
  Values v = testing_support::random_values(3, Kind::small_integers, 1);
  itsolv::Problem p;
  load_values(p, v);
  p.curr[0] = 0, p.x[0] = 0;  // 0/0
  p.curr[1] = 1, p.x[1] = 2;
  p.curr[2] = 1, p.x[2] = 4;
  EXPECT_TRUE(std::isnan(itsolv::get_max_err(p)));
  p.curr[0] = 1, p.x[0] = 1;
  p.curr[1] = 0, p.x[1] = 0;
  EXPECT_EQ(itsolv::get_max_err(p), 0.75f);
  p.x[2] = 0;  // a new value of zero: infinite change
  EXPECT_EQ(itsolv::get_max_err(p), std::numeric_limits<float>::infinity());
}

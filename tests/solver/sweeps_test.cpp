// Every kernel (instruction set x storage) on every team size gives the bits
// of the literal solver.
#include "solve/sweeps.hpp"

#include <gtest/gtest.h>

#include <cstring>
#include <limits>

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

itsolv::Outcome fast_outcome(const Values& v, Isa isa, Storage storage, int threads) {
  itsolv::Team ctx{team(threads), isa};
  ctx.threshold = 0;  // split even the smallest problems
  itsolv::Problem p;
  load_values(p, v, storage);
  return itsolv::solve(p, ctx);
}

// Sizes round the vector widths and the panel height.
std::vector<int32_t> sizes() {
  std::vector<int32_t> out;
  for (int32_t n = 1; n <= 70; ++n) out.push_back(n);
  for (int32_t n : {127, 128, 129, 130, 191, 193}) out.push_back(n);
  return out;
}

void expect_all_kernels_agree(const Values& v, const std::vector<Storage>& storages) {
  const literal::Outcome want = literal::solve(v.num, v.err, v.a, v.b, v.x);
  for (Isa isa : testing_support::supported_isas())
    for (Storage storage : storages)
      for (int threads : {1, 2, 3}) {
        const itsolv::Outcome got = fast_outcome(v, isa, storage, threads);
        ASSERT_TRUE(got.text == want.out && got.status == want.status)
            << "n=" << v.num << " isa=" << itsolv::isa_name(isa) << " storage=" << static_cast<int>(storage)
            << " threads=" << threads << ": " << got.text;
      }
}

}  // namespace

// Small integers in every storage, wide ones in 16 bits and floats,
// decimals in floats; weakly dominant rows; tolerances of zero, negative,
// NaN and one; a larger problem.
TEST(KernelsAgree, EachKindOfValueInEveryStorageThatHoldsIt) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const struct {
    Kind kind;
    std::vector<int32_t> sizes;
    std::vector<Storage> storages;
    float err = 1e-4f;
  } rows[] = {
      {Kind::small_integers, sizes(), {Storage::i8, Storage::i16, Storage::f32}},
      {Kind::wide_integers, sizes(), {Storage::i16, Storage::f32}},
      {Kind::decimals, sizes(), {Storage::f32}},
      {Kind::weak, {2, 3, 17, 64, 65, 130}, {Storage::i8, Storage::f32}, 1e-3f},
      {Kind::small_integers, {37}, {Storage::i8}, 0.0f},
      {Kind::small_integers, {37}, {Storage::i8}, -1.0f},
      {Kind::small_integers, {37}, {Storage::i8}, nan},
      {Kind::small_integers, {37}, {Storage::i8}, 1.0f},
      {Kind::small_integers, {1000}, {Storage::i8, Storage::f32}},
  };
  for (const auto& row : rows)
    for (int32_t n : row.sizes)
      expect_all_kernels_agree(
          testing_support::random_values(n, row.kind, 100 * static_cast<uint32_t>(row.kind) + n, row.err),
          row.storages);
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

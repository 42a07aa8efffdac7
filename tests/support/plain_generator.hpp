// mkprob's generator written the plain way, with printf: the text of the
// problem file for `numvar` variables and the tolerance `error`, each
// coefficient drawn by `draw()` (std::rand, or a test's stand-in).
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace testing_support {

template <typename Draw>
std::string plain_problem(int32_t numvar, float error, Draw draw) {
  std::string text;
  char number[64];
  auto print = [&](const char* format, auto value) {
    std::snprintf(number, sizeof number, format, value);
    text += number;
  };
  print("%d\n", numvar);
  print("%f\n", static_cast<double>(error));
  for (int32_t i = 0; i < numvar; ++i) text += "0 ";
  text += "\n";
  // numvar * 100 as the C program computes it, wrapping at 32 bits.
  const int32_t diagonal = static_cast<int32_t>(static_cast<uint32_t>(numvar) * 100u);
  for (int32_t i = 0; i < numvar; ++i) {
    for (int32_t j = 0; j < numvar; ++j) print("%d ", j == i ? diagonal : draw() % 99 + 1);
    const int r1 = draw(), r2 = draw();
    print("%d\n", r1 % 100 - r2 % 10);
  }
  return text;
}

}  // namespace testing_support

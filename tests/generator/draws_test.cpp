// The generator's pseudo-random draws: the reproduction of the C library's
// generator, and the stream that serves the library's unseeded sequence.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "generator/glibc_rand.hpp"
#include "generator/rand_stream.hpp"
#include "support/run_program.hpp"

namespace {

using mkprob::GlibcRandom;
using mkprob::RandStream;
using testing_support::run_function;

// The library's first draws, then millions more against rand() itself
// (srand(1) restores the unseeded sequence, whatever this process drew).
TEST(GlibcRandomTest, IsTheLibrarysUnseededSequence) {
  GlibcRandom first;
  for (const int32_t expected : {1804289383, 846930886, 1681692777, 1714636915, 1957747793, 424238335, 719885386,
                                 1649760492, 596516649, 1189641421})
    EXPECT_EQ(first.next(), expected);
  EXPECT_EQ(run_function([] {
              std::srand(1);
              GlibcRandom random;
              int32_t batch[1000];
              for (int i = 0; i < 3000; ++i) {
                random.fill(batch, 1000);
                for (const int32_t draw : batch)
                  if (draw != std::rand()) return 1;
              }
              return 0;
            }).status,
            0);
}

// Advancing the generator k draws leaves it where k draws would.
TEST(GlibcRandomTest, AdvancingEqualsDrawing) {
  for (const uint64_t k : {0ull, 1ull, 30ull, 31ull, 65535ull, 65536ull, 1000003ull, 40000000ull}) {
    GlibcRandom drawn, advanced;
    std::vector<int32_t> skipped(1 << 16);
    for (uint64_t left = k; left > 0; left -= std::min<uint64_t>(left, skipped.size()))
      drawn.fill(skipped.data(), std::min<uint64_t>(left, skipped.size()));
    advanced.advance(k);
    for (int i = 0; i < 64; ++i) ASSERT_EQ(advanced.next(), drawn.next()) << "k " << k << ", draw " << i;
  }
}

TEST(RandStreamTest, ServesRandsSequenceFromItsStart) {
  EXPECT_EQ(run_function([] {
              std::srand(1);
              RandStream stream;
              if (!stream.reproduced()) return 2;
              std::srand(1);
              for (int i = 0; i < 3000; ++i) {  // batches of every size, across blocks
                for (const int32_t draw : stream.take(1 + i * 7 % 5000))
                  if (draw != std::rand()) return 1;
                if (stream.next() != std::rand()) return 1;
              }
              return 0;
            }).status,
            0);
}

// A library generator that is not the one reproduced: the stream must serve
// its draws, the ones taken for the comparison included, in order.
uint32_t other_state = 0;
int other_library_draw() {
  other_state = other_state * 69069u + 1u;
  return static_cast<int>(other_state >> 1);
}

TEST(RandStreamTest, FallsBackToTheLibraryWhereTheReproductionDiffers) {
  other_state = 0;
  RandStream stream(&other_library_draw);
  EXPECT_FALSE(stream.reproduced());
  uint32_t state = 0;
  for (int i = 0; i < 20000; ++i) {
    state = state * 69069u + 1u;
    ASSERT_EQ(i % 3 ? stream.next() : stream.take(1)[0], static_cast<int32_t>(state >> 1)) << i;
  }
}

}  // namespace

#include "generator/rand_words.hpp"

#include <immintrin.h>

namespace mkprob {
namespace {

constexpr size_t kLag = 31;

void step(uint32_t* w, size_t j, size_t end) {
  for (; j < end; ++j) w[j] = w[j - kLag] + w[j - 3];
}

// A word three places back from one of the eight being made may be among
// them; written out in words from before the eight, word j + l (lane l,
// in depth d = l / 3 of that chain) is
//   w[j + l - 3 (d + 1)] + w[j + l - 31] + w[j + l - 34] + ... + w[j + l - 31 - 3d].
// Every term is one of the last four blocks of eight made, which stay in
// registers: reading a word back from memory just after it was stored,
// across two stores, would wait for both to reach the cache.
__attribute__((target("avx2"))) void steps_avx2(uint32_t* w, size_t k) {
  const size_t end = kLag + k;
  size_t j = kLag + 1;  // the blocks before j start inside w
  if (end < j + 8) return step(w, kLag, end);
  step(w, kLag, j);
  const __m256i lane = _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7);
  const __m256i from3 = _mm256_cmpgt_epi32(lane, _mm256_set1_epi32(2));
  const __m256i from6 = _mm256_cmpgt_epi32(lane, _mm256_set1_epi32(5));
  // back[b] holds the block b + 1 blocks before j: w[j - 8 (b + 1) ...]
  __m256i back[4];
  for (int b = 0; b < 4; ++b) back[b] = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(w + j - 8 * (b + 1)));
  for (; j + 8 <= end; j += 8) {
    // w[j + l - 31]: lanes 0-6 from four blocks back, lane 7 from three.
    const __m256i far =
        _mm256_blend_epi32(_mm256_permutevar8x32_epi32(back[3], _mm256_setr_epi32(1, 2, 3, 4, 5, 6, 7, 0)),
                           _mm256_permutevar8x32_epi32(back[2], _mm256_setzero_si256()), 0x80);
    // w[j + l - 34] (lanes 3-7) and w[j + l - 37] (lanes 6-7).
    const __m256i deeper = _mm256_add_epi32(
        _mm256_and_si256(_mm256_permutevar8x32_epi32(back[3], _mm256_setr_epi32(0, 0, 0, 1, 2, 3, 4, 5)), from3),
        _mm256_and_si256(_mm256_permutevar8x32_epi32(back[3], _mm256_setr_epi32(0, 0, 0, 0, 0, 0, 1, 2)), from6));
    // w[j + l - 3 (d + 1)]: always one of the last three words made.
    const __m256i near = _mm256_permutevar8x32_epi32(back[0], _mm256_setr_epi32(5, 6, 7, 5, 6, 7, 5, 6));
    const __m256i made = _mm256_add_epi32(_mm256_add_epi32(far, deeper), near);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(w + j), made);
    back[3] = back[2];
    back[2] = back[1];
    back[1] = back[0];
    back[0] = made;
  }
  step(w, j, end);
}

void steps_plain(uint32_t* w, size_t k) { step(w, kLag, kLag + k); }

}  // namespace

void next_words(uint32_t* w, size_t k) {
  static const auto steps = __builtin_cpu_supports("avx2") ? &steps_avx2 : &steps_plain;
  steps(w, k);
}

}  // namespace mkprob

// Kernels for AVX2: 8 lanes a vector.
#include <immintrin.h>

// Every standard header the kernels use comes before the target pragma, so
// that no inline library function is compiled for this instruction set.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <type_traits>

#include "kernels/kernels.hpp"
#include "matrix/matrix.hpp"

// Everything below is compiled for avx2 (GCC's target pragma, or clang's
// attribute for every function).
#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("avx2"))), apply_to = function)
#else
#pragma GCC push_options
#pragma GCC target("avx2")
#endif
// Included under the target so that their loops are compiled for it.
#include "kernels/panel_kernel.hpp"

namespace itsolv {
namespace {

struct Avx2 {
  using Vec = __m256;
  static constexpr int kWidth = 8;
  static Vec zero() { return _mm256_setzero_ps(); }
  static Vec broadcast(float f) { return _mm256_set1_ps(f); }
  static Vec load(const int8_t* p) {
    return _mm256_cvtepi32_ps(_mm256_cvtepi8_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p))));
  }
  static Vec load(const int16_t* p) {
    return _mm256_cvtepi32_ps(_mm256_cvtepi16_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p))));
  }
  static Vec load(const float* p) { return _mm256_loadu_ps(p); }
  static Vec mul(Vec first, Vec second) {
    Vec r;
    asm("vmulps %2, %1, %0" : "=x"(r) : "x"(first), "x"(second));
    return r;
  }
  static Vec add(Vec first, Vec second) {
    Vec r;
    asm("vaddps %2, %1, %0" : "=x"(r) : "x"(first), "x"(second));
    return r;
  }
  static Vec keep_lane(Vec sum, Vec before, int lane) {
    const __m256i iota = _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7);
    const __m256 skip = _mm256_castsi256_ps(_mm256_cmpeq_epi32(iota, _mm256_set1_epi32(lane)));
    return _mm256_blendv_ps(sum, before, skip);
  }
  static Vec abs(Vec v) { return _mm256_and_ps(v, _mm256_castsi256_ps(_mm256_set1_epi32(0x7FFFFFFF))); }
  static void store(float* p, Vec v) { _mm256_store_ps(p, v); }
};

}  // namespace

SweepKernel sweep_kernel_avx2(Storage storage) { return sweep_kernel_for<Avx2>(storage); }

}  // namespace itsolv

#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC pop_options
#endif

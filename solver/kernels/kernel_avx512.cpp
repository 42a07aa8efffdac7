// Kernels for AVX-512: 16 lanes a vector.
#include <immintrin.h>

// Every standard header the kernels use comes before the target pragma, so
// that no inline library function is compiled for this instruction set.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <type_traits>

#include "kernels/kernels.hpp"
#include "matrix/matrix.hpp"

// Everything below is compiled for avx512f (GCC's target pragma, or clang's
// attribute for every function).
#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("avx512f"))), apply_to = function)
#else
#pragma GCC push_options
#pragma GCC target("avx512f")
#endif
// GCC 12 warns about the undefined source operand inside its own widening
// intrinsics.
#if !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
// Included under the target so that their loops are compiled for it.
#include "kernels/panel_kernel.hpp"

namespace itsolv {
namespace {

struct Avx512 {
  using Vec = __m512;
  static constexpr int kWidth = 16;
  static Vec zero() { return _mm512_setzero_ps(); }
  static Vec broadcast(float f) { return _mm512_set1_ps(f); }
  static Vec load(const int8_t* p) {
    return _mm512_cvtepi32_ps(_mm512_cvtepi8_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p))));
  }
  static Vec load(const int16_t* p) {
    return _mm512_cvtepi32_ps(_mm512_cvtepi16_epi32(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(p))));
  }
  static Vec load(const float* p) { return _mm512_loadu_ps(p); }
  static Vec mul(Vec first, Vec second) {
    Vec r;
    asm("vmulps %2, %1, %0" : "=v"(r) : "v"(first), "v"(second));
    return r;
  }
  static Vec add(Vec first, Vec second) {
    Vec r;
    asm("vaddps %2, %1, %0" : "=v"(r) : "v"(first), "v"(second));
    return r;
  }
  static Vec keep_lane(Vec sum, Vec before, int lane) {
    const unsigned skip = lane >= 0 && lane < kWidth ? 1u << lane : 0u;
    return _mm512_mask_mov_ps(before, static_cast<__mmask16>(~skip), sum);
  }
  static Vec abs(Vec v) { return _mm512_abs_ps(v); }
  static void store(float* p, Vec v) { _mm512_store_ps(p, v); }
};

}  // namespace

SweepKernel sweep_kernel_avx512(Storage storage) { return sweep_kernel_for<Avx512>(storage); }

}  // namespace itsolv

#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC pop_options
#endif

// Kernels for any x86-64: SSE2, 4 lanes a vector.
#include <immintrin.h>

#include <cstring>

#include "kernels/kernels.hpp"
#include "kernels/panel_kernel.hpp"

namespace itsolv {
namespace {

struct Sse2 {
  using Vec = __m128;
  static constexpr int kWidth = 4;
  static Vec zero() { return _mm_setzero_ps(); }
  static Vec broadcast(float f) { return _mm_set1_ps(f); }
  // Sign extension without SSE4.1: the value in the top of each lane, then
  // shifted down arithmetically.
  static Vec load(const int8_t* p) {
    int32_t bytes;
    std::memcpy(&bytes, p, sizeof bytes);
    __m128i v = _mm_cvtsi32_si128(bytes);
    v = _mm_unpacklo_epi16(_mm_unpacklo_epi8(v, v), _mm_unpacklo_epi8(v, v));
    return _mm_cvtepi32_ps(_mm_srai_epi32(v, 24));
  }
  static Vec load(const int16_t* p) {
    const __m128i v = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p));
    return _mm_cvtepi32_ps(_mm_srai_epi32(_mm_unpacklo_epi16(v, v), 16));
  }
  static Vec load(const float* p) { return _mm_loadu_ps(p); }
  static Vec mul(Vec first, Vec second) {
    asm("mulps %1, %0" : "+x"(first) : "x"(second));
    return first;
  }
  static Vec add(Vec first, Vec second) {
    asm("addps %1, %0" : "+x"(first) : "x"(second));
    return first;
  }
  static Vec keep_lane(Vec sum, Vec before, int lane) {
    const __m128 skip = _mm_castsi128_ps(_mm_cmpeq_epi32(_mm_setr_epi32(0, 1, 2, 3), _mm_set1_epi32(lane)));
    return _mm_or_ps(_mm_and_ps(skip, before), _mm_andnot_ps(skip, sum));
  }
  static Vec abs(Vec v) { return _mm_and_ps(v, _mm_castsi128_ps(_mm_set1_epi32(0x7FFFFFFF))); }
  static void store(float* p, Vec v) { _mm_store_ps(p, v); }
};

}  // namespace

SweepKernel sweep_kernel_plain(Storage storage) { return sweep_kernel_for<Sse2>(storage); }

}  // namespace itsolv

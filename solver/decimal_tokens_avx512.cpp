// Decimal tokens with AVX-512 (see decimal_tokens.hpp).
#include <immintrin.h>

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>

#include "decimal_tokens.hpp"
#include "number_token.hpp"

namespace itsolv {
namespace {

// Compiled for the instruction set, and only called when the machine runs it.
#define TARGET __attribute__((target("avx512f,avx512bw,avx512dq,avx512vl,avx512vbmi2,bmi,bmi2")))

// Every lane: the zero-masking forms, whose unmasked ones GCC 12 warns of
// (their "undefined" source register).
constexpr __mmask8 kAll = 0xFF;

// What the shapes pass notes of a run's tokens, by their index in the run;
// the arrays have room for the passes' last vector beyond the tokens.
struct Run {
  alignas(64) char digits[kDecimalRun + 8][16];  // '0'..'9', the last in byte 15, zero bytes before the first
  alignas(64) uint64_t m[kDecimalRun + 8];       // the digits' values
  alignas(64) int32_t k[kDecimalRun + 8];        // the power of ten
  alignas(64) uint32_t sign[kDecimalRun + 8];    // the sign bit of a float
  const char* begin[kDecimalRun];
  int length[kDecimalRun];
};

// The classes of the 64 bytes at p, a bit for each byte.
struct Classes {
  uint64_t space, digit, point, letter, sign, minus;
};

TARGET uint64_t is(__m512i v, char c) { return _mm512_cmpeq_epi8_mask(v, _mm512_set1_epi8(c)); }

TARGET Classes classes(const char* p) {
  const __m512i v = _mm512_loadu_si512(p);
  Classes c;
  // White space: ' ', and \t \n \v \f \r (9 .. 13).
  c.space = is(v, ' ') | _mm512_cmple_epu8_mask(_mm512_sub_epi8(v, _mm512_set1_epi8('\t')), _mm512_set1_epi8(4));
  c.digit = _mm512_cmple_epu8_mask(_mm512_sub_epi8(v, _mm512_set1_epi8('0')), _mm512_set1_epi8(9));
  c.point = is(v, '.');
  c.letter = _mm512_cmpeq_epi8_mask(_mm512_or_si512(v, _mm512_set1_epi8(0x20)), _mm512_set1_epi8('e'));
  c.minus = is(v, '-');
  c.sign = c.minus | is(v, '+');
  return c;
}

// Notes token `i` of the run, at t (byte s of the window whose classes are
// c): false when it is not of the form taken.
TARGET bool shape(const char* t, const Classes& c, int s, int i, Run& r) {
  const int length = std::countr_zero(c.space >> s);  // 64 when the window has no white space after s
  if (length > 16) return false;
  const uint32_t token = _bzhi_u32(~0u, static_cast<unsigned>(length));
  const auto bits = [&](uint64_t mask) { return static_cast<uint32_t>(mask >> s) & token; };
  const uint32_t digit = bits(c.digit), point = bits(c.point), letter = bits(c.letter), minus = bits(c.minus);
  const uint32_t negative = minus & 1;
  const int mantissa_end = std::countr_zero(letter | (uint32_t{1} << length));  // `length` without a letter
  const uint32_t mantissa = _bzhi_u32(~0u, static_cast<unsigned>(mantissa_end)) & ~negative;
  const uint32_t mantissa_digits = mantissa & digit;
  // After the letter: a sign or not, then the exponent's digits.
  const uint32_t exponent = token & ~_bzhi_u32(~0u, static_cast<unsigned>(mantissa_end + 1));
  const uint32_t exponent_sign = exponent & bits(c.sign) & (uint32_t{1} << (mantissa_end + 1));
  const uint32_t exponent_digits = exponent & ~exponent_sign;
  const int exponent_count = std::popcount(exponent_digits);
  // One test of all the conditions (the shapes vary from token to token).
  const uint32_t bad = (mantissa & ~(digit | point)) | (exponent_digits & ~digit) |
                       static_cast<uint32_t>(std::popcount(mantissa & point) > 1) | (letter & (letter - 1)) |
                       static_cast<uint32_t>(mantissa_digits == 0) |
                       static_cast<uint32_t>((letter != 0) & (exponent_count == 0)) |
                       static_cast<uint32_t>(exponent_count > 3);
  if (bad != 0) return false;
  // The exponent's digits end the token: the three bytes before its end,
  // those that are not its digits cleared, read as hundreds, tens and ones.
  uint32_t w;
  std::memcpy(&w, t + std::max(length, 3) - 3, sizeof w);
  const uint32_t keep = 0xFFFFFF & (~0u << (8 * (3 - exponent_count)));
  const uint32_t d = (w & keep) - (0x303030 & keep);
  const int e = static_cast<int>(100 * (d & 0xFF) + 10 * ((d >> 8) & 0xFF) + ((d >> 16) & 0xFF));
  const int fraction = std::popcount(mantissa_digits & -((mantissa & point) << 1));
  r.k[i] = ((exponent_sign & minus) != 0 ? -e : e) - fraction;
  r.sign[i] = negative << 31;
  // The mantissa's digits packed, then spread to the top of 16 bytes.
  const __m128i packed = _mm_maskz_compress_epi8(static_cast<__mmask16>(mantissa_digits),
                                                 _mm_loadu_si128(reinterpret_cast<const __m128i*>(t)));
  const auto top = static_cast<__mmask16>(0xFFFF0000u >> std::popcount(mantissa_digits));
  _mm_store_si128(reinterpret_cast<__m128i*>(r.digits[i]), _mm_maskz_expand_epi8(top, packed));
  r.begin[i] = t;
  r.length[i] = length;
  return true;
}

// Pass 1: the shapes of the tokens at q, at most max. Windows of 64 bytes
// take the tokens that start in their first 48 bytes: at most 16 bytes
// long, they end inside. The next window starts at the first token that
// starts after those, or 64 bytes on (where a token taken ended before, and
// white space comes first), so that the windows follow from their classes
// alone, not from the tokens' shapes.
TARGET int32_t shapes(const char*& q, int32_t max, Run& r) {
  constexpr uint64_t kFirst = (uint64_t{1} << 48) - 1;
  int32_t count = 0;
  const char* w = q;    // white space or a token's first byte
  const char* end = q;  // of the last token taken
  while (count < max) {
    const Classes c = classes(w);
    const uint64_t starts = ~c.space & ((c.space << 1) | 1);
    for (uint64_t left = starts & kFirst; left != 0 && count < max; left &= left - 1) {
      const int s = std::countr_zero(left);
      if (!shape(w + s, c, s, count, r)) {
        q = w + s;
        return count;
      }
      end = w + s + r.length[count];
      ++count;
    }
    w += std::countr_zero(starts & ~kFirst);  // 64 when none
  }
  q = end;
  return count;
}

// Pass 2: the digits' values, four tokens in a register: pairs, fours and
// eights of digits in multiply-adds, the two eights of a token joined in 64
// bits.
TARGET void mantissas(int32_t count, Run& r) {
  for (int32_t i = 0; i < count; i += 4) {
    const __m512i digits = _mm512_subs_epu8(_mm512_load_si512(r.digits[i]), _mm512_set1_epi8('0'));
    const __m512i pairs = _mm512_maddubs_epi16(digits, _mm512_set1_epi16(0x010A));
    const __m512i fours = _mm512_madd_epi16(pairs, _mm512_set1_epi32(0x00010064));
    const __m512i eights = _mm512_madd_epi16(_mm512_packus_epi32(fours, fours), _mm512_set1_epi32(0x00012710));
    const __m512i m = _mm512_add_epi64(_mm512_maskz_mul_epu32(kAll, eights, _mm512_set1_epi64(100000000)),
                                       _mm512_maskz_srli_epi64(kAll, eights, 32));
    // The four values, twice over: the next four overwrite the copy.
    _mm512_storeu_si512(r.m + i, _mm512_maskz_permutexvar_epi64(kAll, _mm512_setr_epi64(0, 2, 4, 6, 0, 2, 4, 6), m));
  }
}

// Pass 3: the values, eight at a time where one float operation rounds
// m * 10^k, the others through decimal_value (or, in its rare refusals,
// fast_float on the token). vals has room for count rounded up to eight.
TARGET void values(int32_t count, const Run& r, float* vals) {
  const __m256 low = _mm256_setr_ps(1e0f, 1e1f, 1e2f, 1e3f, 1e4f, 1e5f, 1e6f, 1e7f);  // powers of ten
  const __m256 high = _mm256_setr_ps(1e8f, 1e9f, 1e10f, 0, 0, 0, 0, 0);
  for (int32_t i = 0; i < count; i += 8) {
    const __m512i m = _mm512_load_si512(r.m + i);
    const __m256i k = _mm256_load_si256(reinterpret_cast<const __m256i*>(r.k + i));
    const __m256i ten = _mm256_set1_epi32(10);
    const __mmask8 exact = _mm512_cmple_epu64_mask(m, _mm512_set1_epi64(int64_t{1} << 24)) &
                           _mm256_cmple_epi32_mask(_mm256_abs_epi32(k), ten);
    const __m256 f = _mm512_maskz_cvtepu64_ps(kAll, m);
    const __m256 p = _mm256_permutex2var_ps(low, _mm256_min_epu32(_mm256_abs_epi32(k), ten), high);
    const __mmask8 up = _mm256_cmpge_epi32_mask(k, _mm256_setzero_si256());
    const __m256 v = _mm256_mask_mul_ps(_mm256_div_ps(f, p), up, f, p);
    _mm256_storeu_ps(
        vals + i,
        _mm256_xor_ps(v, _mm256_castsi256_ps(_mm256_load_si256(reinterpret_cast<const __m256i*>(r.sign + i)))));
    const int32_t here = std::min<int32_t>(8, count - i);
    for (uint32_t rest = ~exact & _bzhi_u32(~0u, static_cast<unsigned>(here)); rest != 0; rest &= rest - 1) {
      const int32_t j = i + std::countr_zero(rest);
      const char* const end = r.begin[j] + r.length[j];
      if (!decimal_value(r.sign[j] != 0, r.m[j], r.k[j], vals[j]) && !parse_decimal_form(r.begin[j], end, vals[j]))
        scan_float(r.begin[j], end, vals[j]);
    }
  }
}

TARGET int32_t read_run(const char*& q, int32_t max, float* vals) {
  Run r;
  const int32_t count = shapes(q, std::min(max, kDecimalRun), r);
  // The passes' last vectors read a few entries past the tokens.
  std::memset(r.digits[count], 0, sizeof r.digits[0] * 8);
  std::memset(r.k + count, 0, sizeof r.k[0] * 8);
  std::memset(r.sign + count, 0, sizeof r.sign[0] * 8);
  mantissas(count, r);
  values(count, r, vals);
  return count;
}

}  // namespace

DecimalRunReader decimal_run_reader_avx512() { return &read_run; }

}  // namespace itsolv

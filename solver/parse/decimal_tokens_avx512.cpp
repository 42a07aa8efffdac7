// Decimal tokens with AVX-512 (see decimal_tokens.hpp).
#include <immintrin.h>

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>

#include "parse/decimal_tokens.hpp"
#include "parse/number_token.hpp"
#include "parse/text_ahead.hpp"

namespace itsolv {
namespace {

// Compiled for the instruction set, and only called when the machine runs it.
#define TARGET __attribute__((target("avx512f,avx512bw,avx512dq,avx512vl,avx512vbmi2,avx512bitalg,bmi,bmi2")))

// Every lane: the zero-masking forms, whose unmasked ones GCC 12 warns of
// (their "undefined" source register).
constexpr __mmask8 kAll = 0xFF;

// Four tokens are read together, 16 bytes from each one's start in a lane
// of a 512-bit register; their byte classes then come as four 16-bit fields
// of a 64-bit mask, and the masks below work on all four fields at once,
// no carry or borrow crossing from one field to the next.
constexpr uint64_t kOnes = 0x0001000100010001;   // bit 0 of each field
constexpr uint64_t kGuard = 0x8000800080008000;  // bit 15 of each field

// Bit 15 of each field of x (bits 0 to 14 only) whose field is not zero.
constexpr uint64_t nonzero(uint64_t x) { return kGuard & ((x | kGuard) - kOnes); }
// Bit 15 of each field of x (bits 0 to 14 only) with two bits or more.
constexpr uint64_t several(uint64_t x) { return nonzero(x & ((x | kGuard) - kOnes) & ~kGuard); }

// What the passes note of a run's tokens, by their index in the run; the
// arrays have room for the passes' last vectors beyond the tokens.
struct Run {
  alignas(64) const char* begin[kDecimalRun + 64 + 8];
  alignas(64) uint64_t m[kDecimalRun + 8];  // the mantissa's digits as an integer
  alignas(64) int32_t e[kDecimalRun + 8];   // the exponent's digits
  alignas(64) int32_t fraction[kDecimalRun + 8];
  alignas(64) uint32_t down[kDecimalRun + 8];  // all ones for a negative exponent
  alignas(64) uint32_t sign[kDecimalRun + 8];  // the sign bit of a float
};

// Pass 1: the starts of the tokens from where `scan` stands, until it
// has found at least `until` of them (they are there), less than 64 more.
// The text is read in blocks of 64 bytes, a byte starting a token when it
// is not white space and the byte before it is (the run's first byte may
// start one). Each block's first sixteen starts are written whether or not
// it has them, so that the common block takes no branch on how many it has.
struct Scan {
  const char* w;        // the next block
  uint64_t before = 1;  // white space just before it
  int32_t count = 0;    // starts found
};

// The byte offsets 0 .. 63.
struct Iota {
  alignas(64) uint8_t at[64];
  constexpr Iota() : at() {
    for (int k = 0; k < 64; ++k) at[k] = static_cast<uint8_t>(k);
  }
};
inline constexpr Iota kIota{};

TARGET void starts(Scan& scan, int32_t until, Run& r) {
  while (scan.count < until) {
    ask_ahead(scan.w);
    const uint64_t space = space_mask(_mm512_loadu_si512(scan.w));
    uint64_t first = ~space & ((space << 1) | scan.before);
    scan.before = space >> 63;
    const auto found = static_cast<int32_t>(std::popcount(first));
    // The starts' offsets in the block, packed into bytes, widened to
    // pointers eight at a time: sixteen whether or not the block has them.
    alignas(64) uint8_t offsets[64];
    _mm512_store_si512(offsets, _mm512_maskz_compress_epi8(first, _mm512_load_si512(kIota.at)));
    const __m512i base = _mm512_set1_epi64(reinterpret_cast<int64_t>(scan.w));
    const char** out = r.begin + scan.count;
    for (int k = 0; k < 16 || k < found; k += 8) {
      const __m128i eight = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(offsets + k));
      _mm512_storeu_si512(out + k, _mm512_add_epi64(base, _mm512_maskz_cvtepu8_epi64(kAll, eight)));
    }
    scan.count += found;
    scan.w += 64;
  }
}

// The digits of each lane of v at the bits `digits`, packed and spread to
// the top of their lane, `top` (zeros before them), then converted:
// pairs, fours and eights in multiply-adds. Gives the 32-bit groups of
// eight digits (dwords 0 and 1 of a lane: the first and last eight).
TARGET __m512i digit_groups(__m512i v, uint64_t digits, uint64_t top, __m512i* fours) {
  const __m512i packed = _mm512_maskz_compress_epi8(digits, v);
  const __m512i d = _mm512_subs_epu8(_mm512_maskz_expand_epi8(top, packed), _mm512_set1_epi8('0'));
  const __m512i pairs = _mm512_maddubs_epi16(d, _mm512_set1_epi16(0x010A));
  *fours = _mm512_madd_epi16(pairs, _mm512_set1_epi32(0x00010064));
  return _mm512_madd_epi16(_mm512_packus_epi32(*fours, *fours), _mm512_set1_epi32(0x00012710));
}

// Pass 2: the forms of tokens i .. i+3, read together. Gives how many of
// them, from the first, are of the form taken.
TARGET int group(int32_t i, Run& r) {
  __m512i v = _mm512_zextsi128_si512(_mm_loadu_si128(reinterpret_cast<const __m128i*>(r.begin[i])));
  v = _mm512_inserti32x4(v, _mm_loadu_si128(reinterpret_cast<const __m128i*>(r.begin[i + 1])), 1);
  v = _mm512_inserti32x4(v, _mm_loadu_si128(reinterpret_cast<const __m128i*>(r.begin[i + 2])), 2);
  v = _mm512_inserti32x4(v, _mm_loadu_si128(reinterpret_cast<const __m128i*>(r.begin[i + 3])), 3);
  const uint64_t space = space_mask(v);
  const uint64_t digit = _mm512_cmple_epu8_mask(_mm512_sub_epi8(v, _mm512_set1_epi8('0')), _mm512_set1_epi8(9));
  const uint64_t point = _mm512_cmpeq_epi8_mask(v, _mm512_set1_epi8('.'));
  const uint64_t letter = _mm512_cmpeq_epi8_mask(_mm512_or_si512(v, _mm512_set1_epi8(0x20)), _mm512_set1_epi8('e'));
  const uint64_t minus = _mm512_cmpeq_epi8_mask(v, _mm512_set1_epi8('-'));
  const uint64_t plus = _mm512_cmpeq_epi8_mask(v, _mm512_set1_epi8('+'));
  // The token: the bytes before the first white space (bits 0 .. 14; a
  // token of 16 bytes or more has none in bytes 0 .. 15).
  const uint64_t before_space = (space | kGuard);
  const uint64_t token = (before_space - kOnes) & ~before_space;
  const uint64_t too_long = kGuard & ~space & ~nonzero(space & ~kGuard);
  const uint64_t negative = minus & kOnes;
  const uint64_t sign = (minus | plus) & kOnes;
  // The mantissa: the bytes before the exponent letter or the token's end,
  // the sign apart; the exponent: the bytes after the letter, its sign apart.
  const uint64_t e = letter & token;
  const uint64_t stop = e | (token + kOnes);
  const uint64_t before_stop = (stop - kOnes) & ~stop;
  const uint64_t mantissa = before_stop & ~sign;
  const uint64_t m_digits = mantissa & digit;
  const uint64_t m_point = mantissa & point;
  const uint64_t e_sign = (e << 1) & (minus | plus) & token;
  const uint64_t e_digits = token & ~before_stop & ~e & ~e_sign;
  // Not taken: another byte in the mantissa, two points or letters, another
  // byte in the exponent, no mantissa digit, a letter without exponent
  // digits, four exponent digits in a row (bits 12 .. 15 of the shifts are
  // cleared by the unshifted field), 16 bytes or more.
  const uint64_t bad = nonzero(mantissa & ~(digit | point)) | several(m_point) | several(e) |
                       nonzero(e_digits & ~digit) | (kGuard & ~nonzero(m_digits)) | (nonzero(e) & ~nonzero(e_digits)) |
                       nonzero(e_digits & (e_digits >> 1) & (e_digits >> 2) & (e_digits >> 3)) | too_long;
  // The fraction: the mantissa's digits after the point.
  const uint64_t through_point = (((m_point | kGuard) - kOnes) & ~kGuard) | m_point;
  const uint64_t f_digits = m_digits & ~through_point;
  // Digit counts of the fields in 16-bit lanes: the mantissa's and the
  // exponent's give where their digits go, the fraction's its power of ten.
  const __m128i counts =
      _mm_popcnt_epi16(_mm_set_epi64x(static_cast<int64_t>(e_digits), static_cast<int64_t>(m_digits)));
  const __m128i tops = _mm_sllv_epi16(_mm_set1_epi16(-1), _mm_sub_epi16(_mm_set1_epi16(16), counts));
  const auto m_top = static_cast<uint64_t>(_mm_cvtsi128_si64(tops));
  const auto e_top = static_cast<uint64_t>(_mm_extract_epi64(tops, 1));
  const __m128i fraction_down =
      _mm_popcnt_epi16(_mm_set_epi64x(static_cast<int64_t>(e_sign & minus), static_cast<int64_t>(f_digits)));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(r.fraction + i), _mm_cvtepu16_epi32(fraction_down));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(r.down + i),
                   _mm_sub_epi32(_mm_setzero_si128(), _mm_cvtepu16_epi32(_mm_srli_si128(fraction_down, 8))));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(r.sign + i),
                   _mm_slli_epi32(_mm_cvtepu16_epi32(_mm_cvtsi64_si128(static_cast<int64_t>(negative))), 31));
  __m512i fours;
  const __m512i eights = digit_groups(v, m_digits, m_top, &fours);
  const __m512i m = _mm512_add_epi64(_mm512_maskz_mul_epu32(kAll, eights, _mm512_set1_epi64(100000000)),
                                     _mm512_maskz_srli_epi64(kAll, eights, 32));
  // The four values, twice over: the next group overwrites the copy.
  _mm512_storeu_si512(r.m + i, _mm512_maskz_permutexvar_epi64(kAll, _mm512_setr_epi64(0, 2, 4, 6, 0, 2, 4, 6), m));
  // The exponent's digits (at most three) in the last four-digit group.
  digit_groups(v, e_digits, e_top, &fours);
  _mm512_mask_storeu_epi32(
      r.e + i, 0x000F,
      _mm512_maskz_permutexvar_epi32(0xFFFF, _mm512_setr_epi32(3, 7, 11, 15, 3, 7, 11, 15, 3, 7, 11, 15, 3, 7, 11, 15),
                                     fours));
  return bad == 0 ? 4 : std::countr_zero(bad) / 16;
}

// Eight 32-bit entries at a (aligned).
template <typename T>
TARGET __m256i eight(const T* a) {
  return _mm256_load_si256(reinterpret_cast<const __m256i*>(a));
}

// Pass 3: the values, eight at a time where one double operation gives
// m * 10^k's float (see decimal_value), the others through decimal_value
// (or, in its rare refusals, fast_float on the token). vals has room for
// count rounded up to eight.
TARGET void values(int32_t count, const Run& r, float* vals) {
  const __m512d low = _mm512_loadu_pd(kPow10);  // 10^0 .. 10^7
  const __m512d mid = _mm512_loadu_pd(kPow10 + 8);
  const __m512d high = _mm512_loadu_pd(kPow10 + kExactPower - 7);  // 10^15 .. 10^22
  const __m256i top = _mm256_set1_epi32(kExactPower);
  for (int32_t i = 0; i < count; i += 8) {
    const __m512i m = _mm512_load_si512(r.m + i);
    const __m256i down = eight(r.down + i);
    const __m256i k =
        _mm256_sub_epi32(_mm256_sub_epi32(_mm256_xor_si256(eight(r.e + i), down), down), eight(r.fraction + i));
    const __m256i power = _mm256_min_epu32(_mm256_abs_epi32(k), top);
    __mmask8 exact = _mm512_cmple_epu64_mask(m, _mm512_set1_epi64(static_cast<int64_t>(kExactMantissa))) &
                     _mm256_cmple_epi32_mask(_mm256_abs_epi32(k), top);
    // 10^power: entries 0 .. 15 from the first two registers, 16 .. 22 from
    // the last one (indices 1 .. 7 there).
    const __m512i index = _mm512_maskz_cvtepu32_epi64(kAll, power);
    const __m512d p = _mm512_mask_permutexvar_pd(_mm512_permutex2var_pd(low, index, mid),
                                                 _mm512_cmpge_epu64_mask(index, _mm512_set1_epi64(16)),
                                                 _mm512_sub_epi64(index, _mm512_set1_epi64(kExactPower - 7)), high);
    const __m512d f = _mm512_cvtepu64_pd(m);
    const __mmask8 up = _mm256_cmpge_epi32_mask(k, _mm256_setzero_si256());
    const __m512d d = _mm512_mask_mul_pd(_mm512_div_pd(f, p), up, f, p);
    exact &= _mm512_cmpneq_epu64_mask(_mm512_and_si512(_mm512_castpd_si512(d), _mm512_set1_epi64(kBelowFloat)),
                                      _mm512_set1_epi64(kFloatMidpoint));
    const __m256 v = _mm512_maskz_cvtpd_ps(kAll, d);
    _mm256_storeu_ps(vals + i, _mm256_xor_ps(v, _mm256_castsi256_ps(eight(r.sign + i))));
    const int32_t here = std::min<int32_t>(8, count - i);
    for (uint32_t rest = ~exact & _bzhi_u32(~0u, static_cast<unsigned>(here)); rest != 0; rest &= rest - 1) {
      const int32_t j = i + std::countr_zero(rest);
      const int32_t kj = (r.down[j] != 0 ? -r.e[j] : r.e[j]) - r.fraction[j];
      if (decimal_value(r.sign[j] != 0, r.m[j], kj, vals[j])) continue;
      const char* end = r.begin[j];
      while (!is_space(*end)) ++end;
      if (!parse_decimal_form(r.begin[j], end, vals[j])) scan_float(r.begin[j], end, vals[j]);
    }
  }
}

// Starts found at first: a few, so that a run whose first token is not of
// the form taken costs little; then more at a time.
constexpr int32_t kFirstStarts = 16;
constexpr int32_t kMoreStarts = 64;

TARGET int32_t read_run(const char*& q, int32_t max, float* vals) {
  Run r;
  max = std::min(max, kDecimalRun);
  if (max <= 0) return 0;
  Scan scan{q};
  // Groups at fixed steps of four, so that a group's loads never wait for
  // the checks of the one before: only the branch out of the loop does,
  // and it is rarely taken. Groups run while their starts are all found;
  // the last group reads up to three starts past the last token's.
  int32_t count = 0, found = 0;
  bool stopped = false;
  for (int32_t until = std::min(max, kFirstStarts);; until = std::min(max, until + kMoreStarts)) {
    starts(scan, until, r);
    const bool last = scan.count >= max;
    found = std::min(scan.count, max);
    if (last)
      for (int32_t i = found; i < found + 3; ++i) r.begin[i] = r.begin[found - 1];
    for (; last ? count < found : count + 4 <= found; count += 4) {
      const int good = group(count, r);
      if (good < 4) {
        count += good;
        stopped = true;
        break;
      }
    }
    if (last || stopped) break;
  }
  count = std::min(count, found);
  if (count == 0) return 0;
  // The last vectors of pass 3 read up to seven entries past the tokens.
  for (int32_t i = count; i < count + 8; ++i) {
    r.m[i] = 0;
    r.e[i] = r.fraction[i] = 0;
    r.down[i] = r.sign[i] = 0;
  }
  values(count, r, vals);
  const char* end = r.begin[count - 1];
  while (!is_space(*end)) ++end;
  q = count < found ? r.begin[count] : end;
  return count;
}

}  // namespace

DecimalRunReader decimal_run_reader_avx512() { return &read_run; }

}  // namespace itsolv

// Decimal tokens with AVX-512 (see decimal_tokens.hpp).
#include <immintrin.h>

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>

#include "parse/decimal_groups_avx512.hpp"
#include "parse/decimal_tokens.hpp"
#include "parse/number_token.hpp"
#include "parse/text_ahead.hpp"

namespace itsolv {
namespace {

using namespace decimal_groups;

// Pass 1: the starts of the tokens from where `scan` stands, until it
// has found at least `until` of them (they are there), less than 64 more.
// The text is read in blocks of 64 bytes, a byte starting a token when it
// is not white space and the byte before it is (the run's first byte may
// start one). Each block's first sixteen starts are written whether or not
// it has them, so that the common block takes no branch on how many it has.
//
// The starts are kept as 32-bit offsets from the run's first byte: a scan
// goes no further than kRunSpan bytes from it, the run then ending with the
// tokens found before (white space that long is no run of decimals).
constexpr int64_t kRunSpan = int64_t{1} << 31;

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
  while (scan.count < until && scan.w - r.text < kRunSpan) {
    ask_ahead(scan.w);
    const uint64_t space = space_mask(_mm512_loadu_si512(scan.w));
    uint64_t first = ~space & ((space << 1) | scan.before);
    scan.before = space >> 63;
    const auto found = static_cast<int32_t>(std::popcount(first));
    // The starts' offsets in the block, packed into bytes, widened to
    // offsets in the run: sixteen whether or not the block has them.
    const __m512i offsets = _mm512_maskz_compress_epi8(first, _mm512_load_si512(kIota.at));
    const auto from = static_cast<uint32_t>(scan.w - r.text);
    uint32_t* out = r.at + scan.count;
    _mm512_storeu_si512(
        out, _mm512_add_epi32(_mm512_set1_epi32(static_cast<int32_t>(from)),
                              _mm512_maskz_cvtepu8_epi32(0xFFFF, _mm512_maskz_extracti32x4_epi32(0xF, offsets, 0))));
    if (found > 16) {
      alignas(64) uint8_t more[64];
      _mm512_store_si512(more, offsets);
      for (int k = 16; k < found; ++k) out[k] = from + more[k];
    }
    scan.count += found;
    scan.w += 64;
  }
}

// Eight 32-bit entries at a (aligned).
template <typename T>
TARGET __m256i eight(const T* a) {
  return _mm256_load_si256(reinterpret_cast<const __m256i*>(a));
}

// The values of tokens i + t for the bits t of `rest`, one by one; out of
// line, so that the vector loop stays small.
TARGET __attribute__((noinline)) void values_one_by_one(int32_t i, uint32_t rest, const Run& r, float* vals) {
  for (; rest != 0; rest &= rest - 1) {
    const int32_t j = i + std::countr_zero(rest);
    const int32_t kj = ((r.marks[j] & kDownBit) != 0 ? -r.e[j] : r.e[j]) - std::popcount(r.marks[j] & kFractionBits);
    if (decimal_value((r.marks[j] & 1) != 0, r.m[j], kj, vals[j])) continue;
    const char* begin = r.begin(j);
    const char* end = token_end(begin);
    if (!parse_decimal_form(begin, end, vals[j])) scan_float(begin, end, vals[j]);
  }
}

// Pass 3: the values, eight at a time where one double operation gives
// m * 10^k's float (see decimal_value), the others one by one. The entries
// past the last token are zeros, whose values are exact, so that the last
// vector needs no mask of the tokens in it; vals has room for count
// rounded up to eight.
//
// With m at most 2^53, d is the double nearest to m * 10^k; a mantissa
// above it (up to 19 digits) rounds to a double first, so d is within two
// units of its last place (relative 2^-52) of m * 10^k. Either way a float
// midpoint is more than that from d, on the same side of m * 10^k, when
// the low bits of d's significand are more than kMidpointMargin from the
// midpoint's pattern: one test for both (the few other tokens of the
// first kind go one by one). With k at most kRoundedPower the value of a
// longer mantissa stays below the largest float.
constexpr int64_t kMidpointMargin = 8;
constexpr int32_t kRoundedPower = 18;

TARGET void values(int32_t count, const Run& r, float* vals) {
  const __m512d low = _mm512_loadu_pd(kPow10);  // 10^0 .. 10^7
  const __m512d mid = _mm512_loadu_pd(kPow10 + 8);
  const __m512d high = _mm512_maskz_loadu_pd(0x7F, kPow10 + 16);  // 10^16 .. 10^22
  for (int32_t i = 0; i < count; i += 8) {
    const __m512i m = _mm512_load_si512(r.m + i);
    // k: the exponent, negated where the marks' top bit says so, less the
    // fraction's digit count; the marks' bit 0 is the token's sign.
    const __m256i marks = eight(r.marks + i);
    const __m256i e = eight(r.e + i);
    const __m256i k = _mm256_sub_epi32(_mm256_mask_sub_epi32(e, _mm256_movepi32_mask(marks), _mm256_setzero_si256(), e),
                                       _mm256_popcnt_epi32(_mm256_and_si256(marks, _mm256_set1_epi32(kFractionBits))));
    // -kExactPower <= k <= kExactPower, or kRoundedPower for a longer m.
    const __mmask8 small = _mm512_cmple_epu64_mask(m, _mm512_set1_epi64(static_cast<int64_t>(kExactMantissa)));
    const __m256i most = _mm256_mask_mov_epi32(_mm256_set1_epi32(kExactPower + kRoundedPower), small,
                                               _mm256_set1_epi32(2 * kExactPower));
    const __mmask8 range = _mm256_cmple_epu32_mask(_mm256_add_epi32(k, _mm256_set1_epi32(kExactPower)), most);
    // 10^|k| (in range): entries 0 .. 15 from the first two registers by
    // the index's low four bits, 16 .. 22 from the last by its low three.
    const __m256i power = _mm256_abs_epi32(k);
    const __m512i index = _mm512_maskz_cvtepu32_epi64(kAll, power);
    const __m512d p = _mm512_mask_permutexvar_pd(_mm512_permutex2var_pd(low, index, mid),
                                                 _mm256_test_epi32_mask(power, _mm256_set1_epi32(16)), index, high);
    const __m512d f = _mm512_cvtepu64_pd(m);
    const __m512d d = _mm512_mask_div_pd(_mm512_mul_pd(f, p), _mm256_movepi32_mask(k), f, p);
    // |low bits - midpoint| > margin, as one unsigned comparison.
    const __m512i from_midpoint =
        _mm512_add_epi64(_mm512_and_si512(_mm512_castpd_si512(d), _mm512_set1_epi64(kBelowFloat)),
                         _mm512_set1_epi64(kMidpointMargin - static_cast<int64_t>(kFloatMidpoint)));
    const __mmask8 exact = _mm512_mask_cmpgt_epu64_mask(range, from_midpoint, _mm512_set1_epi64(2 * kMidpointMargin));
    const __m256 v = _mm512_maskz_cvtpd_ps(kAll, d);
    _mm256_storeu_ps(vals + i, _mm256_xor_ps(v, _mm256_castsi256_ps(_mm256_slli_epi32(marks, 31))));
    if (exact != kAll) [[unlikely]]
      values_one_by_one(i, static_cast<uint8_t>(~exact), r, vals);
  }
}

// Starts found at first: a few, so that a run whose first token is not of
// the form taken costs little; then more at a time, the rest of a full run
// in two rounds (each round costs a group read alone and the exits of two
// loops; 64 at a time, five rounds, was about 2% slower).
constexpr int32_t kFirstStarts = 16;
constexpr int32_t kMoreStarts = 120;

// Reads groups of tokens in lanes of W bytes from token `count` on, while
// their starts are found (all of them when `last`); gives false when a
// token stops them, `count` then the first not taken. The groups go at
// fixed steps, so that a group's loads never wait for the checks of the one
// before: only the branch out does, and it is rarely taken. A group's
// digits are converted after the next group's forms are read, so that the
// two long chains of work overlap.
template <int W>
TARGET bool groups(Run& r, int32_t& count, int32_t found, bool last) {
  constexpr int kFull = Lanes<W>::kCount;
  const int32_t limit = last ? found : found - 3;  // groups start below it
  if (count >= limit) return true;
  const Splats c = splats();
  Forms f = forms<W>(count, r, c);
  for (;;) {
    if (f.bad != 0) {
      digits<W>(count, r, f, c);
      count += taken<W>(f);
      return false;
    }
    const int32_t next = count + kFull;
    if (next >= limit) {
      digits<W>(count, r, f, c);
      count = next;
      return true;
    }
    const Forms g = forms<W>(next, r, c);
    digits<W>(count, r, f, c);
    count = next;
    f = g;
  }
}

// Short tokens four at a time; from a token they do not take on, `wide`,
// two at a time in the long form (which takes every short one too). Gives
// false when a token of neither form stops them.
TARGET bool take_groups(Run& r, int32_t& count, int32_t found, bool last, bool& wide) {
  if (!wide && groups<16>(r, count, found, last)) return true;
  wide = true;
  return groups<32>(r, count, found, last);
}

TARGET int32_t read_run(const char*& q, int32_t max, float* vals) {
  Run r;
  r.text = q;
  max = std::min(max, kDecimalRun);
  if (max <= 0) return 0;
  Scan scan{q};
  // Groups run while their starts are all found; the last group reads up
  // to three starts past the last token's.
  int32_t count = 0, found = 0;
  bool wide = false;
  for (int32_t until = std::min(max, kFirstStarts);; until = std::min(max, until + kMoreStarts)) {
    starts(scan, until, r);
    const bool last = scan.count >= max || scan.w - r.text >= kRunSpan;
    found = std::min(scan.count, max);
    if (found == 0) return 0;
    if (last)
      for (int32_t i = found; i < found + 3; ++i) r.at[i] = r.at[found - 1];
    if (!take_groups(r, count, found, last, wide) || last) break;
  }
  count = std::min(count, found);
  if (count == 0) return 0;
  // The last vectors of pass 3 read up to seven entries past the tokens.
  for (int32_t i = count; i < count + 8; ++i) {
    r.m[i] = 0;
    r.e[i] = 0;
    r.marks[i] = 0;
  }
  values(count, r, vals);
  q = count < found ? r.begin(count) : token_end(r.begin(count - 1));
  return count;
}

}  // namespace

DecimalRunReader decimal_run_reader_avx512() { return &read_run; }

}  // namespace itsolv

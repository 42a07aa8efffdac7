// Decimal tokens with AVX-512, pass 2 (see decimal_tokens.hpp): the forms
// of tokens read together, each in a lane of a 512-bit register from its
// start: four short tokens in lanes of 16 bytes, or two long ones (up to 31
// bytes: doubles written with 17 significant digits) in lanes of 32 bytes.
#pragma once

#include <immintrin.h>

#include <bit>
#include <cstdint>
#include <cstring>

#include "parse/decimal_tokens.hpp"
#include "parse/white_space.hpp"

// Compiled for the instruction set, and only called when the machine runs it.
#define TARGET                                                                                             \
  __attribute__((                                                                                          \
      target("avx512f,avx512bw,avx512dq,avx512vl,avx512vbmi,avx512vbmi2,avx512bitalg,avx512vpopcntdq,bmi," \
             "bmi2")))

namespace itsolv::decimal_groups {

// The byte constants of pass 2, made once a group loop and hidden from
// GCC's constant folding, so that they stay in registers: left to it, it
// broadcasts each from a general register at every group, an operation of
// the shuffle port that the loop is short of.
struct Splats {
  __m512i zero, nine, point, case_bit, e, minus, plus, sixteen, blank, tab, four;
};

TARGET inline Splats splats() {
  Splats b{_mm512_set1_epi8('0'), _mm512_set1_epi8(9),    _mm512_set1_epi8('.'), _mm512_set1_epi8(0x20),
           _mm512_set1_epi8('e'), _mm512_set1_epi8('-'),  _mm512_set1_epi8('+'), _mm512_set1_epi8(16),
           _mm512_set1_epi8(' '), _mm512_set1_epi8('\t'), _mm512_set1_epi8(4)};
  asm(""
      : "+v"(b.zero), "+v"(b.nine), "+v"(b.point), "+v"(b.case_bit), "+v"(b.e), "+v"(b.minus), "+v"(b.plus),
        "+v"(b.sixteen), "+v"(b.blank), "+v"(b.tab), "+v"(b.four));
  return b;
}

// Every lane: the zero-masking forms, whose unmasked ones GCC 12 warns of
// (their "undefined" source register).
constexpr __mmask8 kAll = 0xFF;

// What the passes note of a run's tokens, by their index in the run; the
// arrays have room for the passes' last vectors beyond the tokens.
struct Run {
  const char* text;                               // the run's first byte
  alignas(64) uint32_t at[kDecimalRun + 64 + 8];  // the tokens' starts, from text
  const char* begin(int32_t i) const { return text + at[i]; }
  alignas(64) uint64_t m[kDecimalRun + 8];  // the mantissa's digits as an integer
  alignas(64) int32_t e[kDecimalRun + 8];   // the exponent's digits
  // The token's marks, as pass 2 finds them in its lane (pass 3 counts
  // them): the fraction's digits as bits 1 .. 30 (kFractionBits), bit 0
  // for a minus sign (never a digit after a point), bit 31 (kDownBit) for
  // a negative exponent.
  alignas(64) uint32_t marks[kDecimalRun + 8];
};
constexpr uint32_t kDownBit = uint32_t{1} << 31;
constexpr uint32_t kFractionBits = kDownBit - 2;

// Tokens read together in lanes of W bytes: their byte classes come as
// fields of W bits of a 64-bit mask, and the masks below work on all
// fields at once, no carry or borrow crossing from one field to the next.
template <int W>
struct Lanes {
  static constexpr int kCount = 64 / W;                                          // tokens at a time
  static constexpr uint64_t kOnes = W == 16 ? 0x0001000100010001 : 0x100000001;  // bit 0 of each field
  static constexpr uint64_t kGuard = kOnes << (W - 1);                           // the top bit of each field
  static constexpr uint64_t kLow = (kOnes << (W - 4)) - kOnes;  // the bits of each field but its top four

  // The bits of each field of x (the bits below the top one only) but its lowest.
  static constexpr uint64_t all_but_lowest(uint64_t x) { return x & ((x | kGuard) - kOnes); }
  // The top bit of each field of x (the bits below it only) that is zero.
  static constexpr uint64_t zero(uint64_t x) { return kGuard & ~((x | kGuard) - kOnes); }
};

// The digits of each 16 bytes of v at the bits `digits`, packed and spread
// to the top of their lane, `top` (zeros before them), then converted:
// pairs, fours and eights in multiply-adds. Gives the 32-bit groups of
// eight digits (dwords 0 and 1 of 16 bytes: the first and last eight).
TARGET inline __m512i digit_groups(__m512i v, uint64_t digits, uint64_t top, __m512i* fours, const Splats& c) {
  const __m512i packed = _mm512_maskz_compress_epi8(digits, v);
  const __m512i d = _mm512_subs_epu8(_mm512_maskz_expand_epi8(top, packed), c.zero);
  const __m512i pairs = _mm512_maddubs_epi16(d, _mm512_set1_epi16(0x010A));
  *fours = _mm512_madd_epi16(pairs, _mm512_set1_epi32(0x00010064));
  return _mm512_madd_epi16(_mm512_packus_epi32(*fours, *fours), _mm512_set1_epi32(0x00012710));
}

// Byte b of every lane of 16 bytes less 16: 0xF0 .. 0xFF, in qwords.
constexpr auto kLaneLess16Low = static_cast<int64_t>(0xF7F6F5F4F3F2F1F0);
constexpr auto kLaneLess16 = static_cast<int64_t>(0xFFFEFDFCFBFAF9F8);

// Word First + t of `counts` (its low byte) in every byte of lane t of 16
// bytes: one byte permute.
template <int First>
TARGET inline __m512i word_in_lanes(__m128i counts) {
  constexpr uint64_t kBytes = 0x0101010101010101;
  constexpr auto at = [](int t) { return static_cast<int64_t>(kBytes * 2 * (First + t)); };
  return _mm512_maskz_permutexvar_epi8(
      ~uint64_t{0}, _mm512_setr_epi64(at(0), at(0), at(1), at(1), at(2), at(2), at(3), at(3)),
      _mm512_zextsi128_si512(counts));
}

// The exponent digits of four tokens in lanes of 16 bytes (at their ends,
// words 4 to 7 of `counts` their lengths) moved to the ends of the lanes,
// zeros before them, and converted in groups of four.
TARGET inline __m512i exponent_fours(__m512i v, uint64_t digits, __m128i counts, const Splats& c) {
  const __m512i end = word_in_lanes<4>(counts);
  const __m512i from =
      _mm512_add_epi8(end, _mm512_setr_epi64(kLaneLess16Low, kLaneLess16, kLaneLess16Low, kLaneLess16, kLaneLess16Low,
                                             kLaneLess16, kLaneLess16Low, kLaneLess16));
  const __m512i d = _mm512_shuffle_epi8(_mm512_maskz_sub_epi8(digits, v, c.zero), from);
  return _mm512_madd_epi16(_mm512_maddubs_epi16(d, _mm512_set1_epi16(0x010A)), _mm512_set1_epi32(0x00010064));
}

// The expand mask of four lanes of 16 bytes: the top c bytes of lane t,
// c word t of counts.
TARGET inline uint64_t lane_tops(__m128i counts, const Splats& c) {
  const __m512i in_lane =
      _mm512_setr_epi64(0x0706050403020100, 0x0F0E0D0C0B0A0908, 0x0706050403020100, 0x0F0E0D0C0B0A0908,
                        0x0706050403020100, 0x0F0E0D0C0B0A0908, 0x0706050403020100, 0x0F0E0D0C0B0A0908);
  return _mm512_cmpge_epu8_mask(_mm512_add_epi8(word_in_lanes<0>(counts), in_lane), c.sixteen);
}

// The tokens at text + at[0] ... in lanes of W bytes.
template <int W>
TARGET inline __m512i load_lanes(const char* text, const uint32_t* at) {
  const auto lane = [&](int t) { return text + at[t]; };
  if constexpr (W == 16) {
    __m512i v = _mm512_zextsi128_si512(_mm_loadu_si128(reinterpret_cast<const __m128i*>(lane(0))));
    v = _mm512_inserti32x4(v, _mm_loadu_si128(reinterpret_cast<const __m128i*>(lane(1))), 1);
    v = _mm512_inserti32x4(v, _mm_loadu_si128(reinterpret_cast<const __m128i*>(lane(2))), 2);
    return _mm512_inserti32x4(v, _mm_loadu_si128(reinterpret_cast<const __m128i*>(lane(3))), 3);
  } else {
    const __m512i v = _mm512_maskz_broadcast_i64x4(0x0F, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(lane(0))));
    return _mm512_mask_broadcast_i64x4(v, 0xF0, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(lane(1))));
  }
}

// The digit counts of the fields of a and b, a's first, one field a lane
// of 16 or 32 bits.
template <int W>
TARGET inline __m128i field_counts(uint64_t a, uint64_t b) {
  const __m128i x = _mm_set_epi64x(static_cast<int64_t>(b), static_cast<int64_t>(a));
  if constexpr (W == 16) return _mm_popcnt_epi16(x);
  return _mm_popcnt_epi32(x);
}

// The mantissas of the lanes, m[t] that of lane t, from eight-digit groups.
template <int W>
TARGET inline __m512i mantissas(__m512i eights) {
  // Sixteen digits of each 16 bytes, in both of its qwords.
  const __m512i sixteen = _mm512_add_epi64(_mm512_maskz_mul_epu32(kAll, eights, _mm512_set1_epi64(100000000)),
                                           _mm512_maskz_srli_epi64(kAll, eights, 32));
  if constexpr (W == 16)
    return _mm512_maskz_permutexvar_epi64(kAll, _mm512_setr_epi64(0, 2, 4, 6, 0, 2, 4, 6), sixteen);
  // At most 19 digits: the first sixteen bytes hold at most three of them.
  const __m512i high = _mm512_maskz_permutexvar_epi64(kAll, _mm512_setr_epi64(0, 4, 0, 4, 0, 4, 0, 4), sixteen);
  const __m512i low = _mm512_maskz_permutexvar_epi64(kAll, _mm512_setr_epi64(2, 6, 2, 6, 2, 6, 2, 6), sixteen);
  return _mm512_add_epi64(_mm512_mullo_epi64(high, _mm512_set1_epi64(10000000000000000)), low);
}

// A group's forms read (pass 2's first half): the lanes, their digits and
// where the digits go, and the tokens not taken (a bit in each one's field).
// forms and digits are always inlined into the group loop: as calls they
// would broadcast their constants again and spill at every group.
struct Forms {
  __m512i v;
  // W == 16: the mantissas' digit counts (words 0 to 3) and the tokens'
  // lengths (words 4 to 7); else where the digits go (dwords 0 to 3,
  // m_top's fields, then the exponents').
  __m128i ends;
  uint64_t m_digits, e_digits, m_top, bad;
};

// Pass 2: the forms of tokens i, i + 1 ... read together, one a lane of W
// bytes; the bits of their fractions' digits and of their signs noted.
template <int W>
TARGET __attribute__((always_inline)) inline Forms forms(int32_t i, Run& r, const Splats& c) {
  using L = Lanes<W>;
  constexpr uint64_t kOnes = L::kOnes, kGuard = L::kGuard;
  const __m512i v = load_lanes<W>(r.text, r.at + i);
  const uint64_t space = space_mask(v, c.blank, c.tab, c.four);
  const uint64_t digit = _mm512_cmple_epu8_mask(_mm512_sub_epi8(v, c.zero), c.nine);
  const uint64_t point = _mm512_cmpeq_epi8_mask(v, c.point);
  const uint64_t letter = _mm512_cmpeq_epi8_mask(_mm512_or_si512(v, c.case_bit), c.e);
  const uint64_t minus = _mm512_cmpeq_epi8_mask(v, c.minus);
  const uint64_t plus = _mm512_cmpeq_epi8_mask(v, c.plus);
  // The token: the bytes before the first white space (all but the top bit
  // of the field; a token of W bytes or more has none there).
  const uint64_t before_space = (space | kGuard);
  const uint64_t token = (before_space - kOnes) & ~before_space;
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
  // Not taken, each by a bit in its field: another byte in the mantissa,
  // two points or letters, another byte in the exponent, no mantissa digit,
  // a letter or exponent sign last, four exponent digits in a row (the top
  // bits of the shifts are cleared by the unshifted field), W bytes or more
  // (no white space in the field: the end of the token at its top bit).
  const uint64_t end = token + kOnes;
  uint64_t bad = (mantissa & ~(digit | point)) | L::all_but_lowest(m_point) | L::all_but_lowest(e) |
                 (e_digits & ~digit) | L::zero(m_digits) | ((end >> 1) & (e | e_sign)) |
                 ((end >> 4) & e_digits & L::kLow) | (end & ~space & kGuard);
  // The fraction: the mantissa's digits after the point.
  const uint64_t through_point = (((m_point | kGuard) - kOnes) & ~kGuard) | m_point;
  const uint64_t f_digits = m_digits & ~through_point;
  // Digit counts of the fields: the mantissa's give where its digits go,
  // and the exponent's (W == 32) or the token's length (W == 16) where the
  // exponent's do.
  const __m128i counts = field_counts<W>(m_digits, W == 16 ? token : e_digits);
  // The marks: a negative exponent at the top bit of the field (the token
  // never reaches it), spread to 32 bits a field.
  const uint64_t marks = f_digits | negative | ((((e_sign & minus) | kGuard) - kOnes) & kGuard);
  if constexpr (W == 16) {
    constexpr uint64_t kSpread = 0x80007FFF80007FFF;
    const uint64_t spread[2] = {_pdep_u64(marks, kSpread), _pdep_u64(marks >> 32, kSpread)};
    std::memcpy(r.marks + i, spread, sizeof spread);
    return {v, counts, m_digits, e_digits, 0, bad};
  } else {
    // More than 19 mantissa digits overflow 64 bits.
    bad |= _pdep_u64(_mm_cmpgt_epi32_mask(counts, _mm_set1_epi32(19)) & 3u, kGuard);
    const __m128i tops = _mm_sllv_epi32(_mm_set1_epi32(-1), _mm_sub_epi32(_mm_set1_epi32(32), counts));
    std::memcpy(r.marks + i, &marks, sizeof marks);
    return {v, tops, m_digits, e_digits, static_cast<uint64_t>(_mm_cvtsi128_si64(tops)), bad};
  }
}

// How many of a group's tokens, from the first, are of the form taken.
template <int W>
constexpr int taken(const Forms& f) {
  return f.bad == 0 ? Lanes<W>::kCount : std::countr_zero(f.bad) / W;
}

// Pass 2's second half: the digits of the group of tokens i ... converted.
template <int W>
TARGET __attribute__((always_inline)) inline void digits(int32_t i, Run& r, const Forms& f, const Splats& c) {
  __m512i fours;
  // The values, twice over or more: the next group overwrites the copies.
  _mm512_storeu_si512(r.m + i,
                      mantissas<W>(digit_groups(f.v, f.m_digits, W == 16 ? lane_tops(f.ends, c) : f.m_top, &fours, c)));
  // The exponent's digits (at most three) in the lane's last four-digit group.
  if constexpr (W == 16)
    fours = exponent_fours(f.v, f.e_digits, f.ends, c);
  else
    digit_groups(f.v, f.e_digits, static_cast<uint64_t>(_mm_extract_epi64(f.ends, 1)), &fours, c);
  const __m512i last_four = W == 16 ? _mm512_setr_epi32(3, 7, 11, 15, 3, 7, 11, 15, 3, 7, 11, 15, 3, 7, 11, 15)
                                    : _mm512_setr_epi32(7, 15, 7, 15, 7, 15, 7, 15, 7, 15, 7, 15, 7, 15, 7, 15);
  _mm_storeu_si128(reinterpret_cast<__m128i*>(r.e + i),
                   _mm512_maskz_extracti32x4_epi32(0xF, _mm512_maskz_permutexvar_epi32(0xFFFF, last_four, fours), 0));
}

}  // namespace itsolv::decimal_groups

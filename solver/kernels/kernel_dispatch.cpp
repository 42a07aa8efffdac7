#include "kernels/isa_table.hpp"

namespace itsolv {

bool isa_supported(Isa isa) {
  switch (isa) {
    // The vector tokenizers count bits with POPCNT, which every machine
    // with these sets has.
    case Isa::avx512:
      return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("popcnt");
    case Isa::avx2:
      return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("popcnt");
    default:
      return true;
  }
}

Isa best_isa() {
  if (isa_supported(Isa::avx512)) return Isa::avx512;
  if (isa_supported(Isa::avx2)) return Isa::avx2;
  return Isa::plain;
}

const char* isa_name(Isa isa) {
  switch (isa) {
    case Isa::avx512:
      return "avx512";
    case Isa::avx2:
      return "avx2";
    default:
      return "plain";
  }
}

namespace {

// The vector tokenizers need AVX-512BW beyond AVX-512F, the short reader
// also VBMI2 (a byte compress-store); where the machine lacks them they fall
// back to the AVX2 ones.
IsaTable fill(Isa isa) {
  const bool avx2 = isa != Isa::plain && isa_supported(Isa::avx2);
  const bool bw = isa == Isa::avx512 && __builtin_cpu_supports("avx512bw");
  IsaTable t{sweep_kernel_plain, nullptr, nullptr, nullptr, {}};
  if (isa == Isa::avx2) t = {sweep_kernel_avx2, nullptr, nullptr, nullptr, {}};
  if (isa == Isa::avx512) t = {sweep_kernel_avx512, nullptr, nullptr, nullptr, {}};
  t.count_blocks = bw ? block_counter_avx512() : avx2 ? block_counter_avx2() : nullptr;
  t.short_reader = bw && __builtin_cpu_supports("avx512vbmi2") ? short_run_reader_avx512()
                   : avx2                                      ? short_run_reader_avx2()
                                                               : nullptr;
  // The widest mover of staged rows first, then SSE2's for groups that the
  // wider does not fit; the AVX-512 one (with BW's byte and word masks) fits
  // every group.
  t.line_movers = bw     ? LineMovers{{line_mover_avx512()}}
                  : avx2 ? LineMovers{{line_mover_avx2(), line_mover_sse2()}}
                         : LineMovers{{line_mover_sse2()}};
  // The decimal reader gathers digits with byte compress and expand
  // (VBMI2), spreads bytes across lanes (VBMI), counts bits in 16-bit lanes
  // (BITALG) and converts 64-bit integers to floats (DQ).
  if (bw && __builtin_cpu_supports("avx512vl") && __builtin_cpu_supports("avx512dq") &&
      __builtin_cpu_supports("avx512vbmi") && __builtin_cpu_supports("avx512vbmi2") &&
      __builtin_cpu_supports("avx512bitalg") && __builtin_cpu_supports("bmi2"))
    t.decimal_reader = decimal_run_reader_avx512();
  return t;
}

}  // namespace

const IsaTable& isa_table(Isa isa) {
  static const IsaTable table[] = {fill(Isa::plain), fill(Isa::avx2), fill(Isa::avx512)};
  return table[static_cast<int>(isa)];
}

}  // namespace itsolv

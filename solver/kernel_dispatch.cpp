#include "decimal_tokens.hpp"
#include "kernels.hpp"
#include "short_tokens.hpp"

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

// The kernel of an instruction set, for a storage.
template <typename Kernel>
Kernel for_isa(Isa isa, Storage storage, Kernel (*avx512)(Storage), Kernel (*avx2)(Storage), Kernel (*plain)(Storage)) {
  switch (isa) {
    case Isa::avx512:
      return avx512(storage);
    case Isa::avx2:
      return avx2(storage);
    default:
      return plain(storage);
  }
}

}  // namespace

SweepKernel sweep_kernel(Isa isa, Storage storage) {
  return for_isa(isa, storage, sweep_kernel_avx512, sweep_kernel_avx2, sweep_kernel_plain);
}

AbsSumKernel abs_sum_kernel(Isa isa, Storage storage) {
  return for_isa(isa, storage, abs_sum_kernel_avx512, abs_sum_kernel_avx2, abs_sum_kernel_plain);
}

ShortBlockReader short_block_reader(Isa isa) {
  // The AVX-512 reader packs values with a byte compress-store (VBMI2).
  if (isa == Isa::avx512 && __builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("avx512vbmi2"))
    return short_block_reader_avx512();
  if (isa != Isa::plain && isa_supported(Isa::avx2)) return short_block_reader_avx2();
  return nullptr;
}

DecimalRunReader decimal_run_reader(Isa isa) {
  // The AVX-512 reader gathers digits with byte compress and expand (VBMI2),
  // counts bits in 16-bit lanes (BITALG) and converts 64-bit integers to
  // floats (DQ).
  if (isa == Isa::avx512 && __builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("avx512vl") &&
      __builtin_cpu_supports("avx512dq") && __builtin_cpu_supports("avx512vbmi2") &&
      __builtin_cpu_supports("avx512bitalg") && __builtin_cpu_supports("bmi2"))
    return decimal_run_reader_avx512();
  return nullptr;
}

}  // namespace itsolv

// The instruction sets the solver has variants for.
#pragma once

namespace itsolv {

enum class Isa { plain, avx2, avx512 };

// Instruction sets this machine runs, best first.
Isa best_isa();
bool isa_supported(Isa isa);
const char* isa_name(Isa isa);

}  // namespace itsolv

// The implementations of each instruction set, chosen once: the machine's
// features are checked when the table is filled (on its first use), never
// again while loading or solving.
#pragma once

#include "base/isa.hpp"
#include "kernels/kernels.hpp"
#include "kernels/line_moves.hpp"
#include "parse/decimal_tokens.hpp"
#include "parse/short_tokens.hpp"
#include "parse/token_count.hpp"

namespace itsolv {

struct IsaTable {
  SweepKernel (*sweep)(Storage);
  BlockCounter count_blocks;        // null: counted sixteen bytes at a time
  ShortRunReader short_reader;      // null: short tokens read one by one
  DecimalRunReader decimal_reader;  // null: decimals read one by one
  LineMovers line_movers;           // staged rows into panel lines
};

// The implementations for `isa`, each the best of it that this machine runs.
const IsaTable& isa_table(Isa isa);

}  // namespace itsolv

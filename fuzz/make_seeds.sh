#!/usr/bin/env bash
# Writes the loader fuzzer's seed corpus into DIR:
#   fuzz/make_seeds.sh PATH/TO/mkprob DIR
# Each seed is one byte choosing how the solver runs (see loader_fuzzer.cpp)
# followed by a problem file: small generated problems, cut and malformed
# files, and every form of number token.
set -euo pipefail
mkprob=$(realpath "$1")
out=$2
mkdir -p "$out"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

count=0
# seed NAME TEXT [FORMAT]: the text (printf'd with FORMAT, %b to take
# escapes such as \0) under a few settings (threads, chunk sizes, pipe,
# row blocks).
seed() {
  local name=$1 text=$2 form=${3:-%s} config
  for config in '\x00' '\x0f' '\x39' '\x5b' '\xa6' '\xff'; do
    { printf "$config"; printf "$form" "$text"; } >"$out/$name-$(printf "$config" | od -An -tx1 | tr -d ' ')"
    count=$((count + 1))
  done
}

# Generated problems, whole and cut short.
for n in 1 2 5 20 70; do
  (cd "$work" && "$mkprob" "$n" 0.0001)
  text=$(cat "$work/$n.txt")
  seed "mkprob-$n" "$text"
  seed "mkprob-$n-cut" "${text:0:$((${#text} * 2 / 3))}"
done
seed crlf $'2\r\n0.001\r\n0 0\r\n4 1 2\r\n1 5 3\r\n'
seed tabs-and-feeds $'2\t0.001\v0\f0 4\t\t1 2\r1 5 3'
seed example $'1\n0.001\n0\n4 2\n'
seed count-zero '0 0.5'
seed count-signed '+2 0.001 0 0 4 1 2 1 5 3'
seed count-leading-zeros '0002 0.001 0 0 4 1 2 1 5 3'
seed count-negative '-3 0.001 0 0 0'
seed count-huge '2147483647 0.1 0 0 0'
seed count-too-big '2147483648 0.1 0 0 0'
seed count-large-pipe '50000 0.1 1 2 3 4 5'
seed count-not-whole '2.0 0.001 0 0 4 1 2 1 5 3'
seed count-hex '0x2 0.001 0 0 4 1 2 1 5 3'
seed empty ''
seed blanks-only $' \n\t '
seed no-tolerance '3'
seed junk-tolerance '2 tol 0 0 4 1 2 1 5 3'
seed junk-value '2 0.001 0 0 4 x 2 1 5 3'
seed junk-late '2 0.001 0 0 4 1 2 1 5 3z'
seed nul-byte '2 0.001 0 0 4 1\0 2 1 5 3' %b
seed trailing-junk '1 0.1 0 4 2 whatever follows'
seed wide-late '3 0.001 0 0 0 900 1 2 1 1 900 2 3 1 1 300000 0.5 7'
seed negative-zero '2 0.001 -0 0 4 -0 2 -0.0 5 3'
seed hex-floats '2 0x1p-3 0x1.8p1 -0X.4P+2 0x10 0x1p0 0x3 0x1p1 0xAp0 0x1.fffffep127'
seed inf-nan '2 inf -inf NAN 4 nan(123) 2 -nan 5 INFINITY'
seed nan-payload '2 nan(0x7fffff) nan() 0 4 nan(abc_1) 2 1 5 3'
seed exponents '2 1e-50 1e39 -1e-46 4e0 1.5E+10 2e-10 1e9999 5e-9999 3e38'
seed subnormal '2 1.4e-45 1e-40 0 4 1.17549435e-38 2 1 5 3'
seed long-digits '2 0.001 0.10000000000000000000000000000000000001 0 123456789012345678901234567890 1 2 1 5 3.00000000000000000000000000000000000000000000001'
seed plus-sign '2 +0.001 +0 +1 +4 +1 +2 +1 +5 +3'
seed dots '2 .5 5. 0 4 1 2 1 .5e1 3'
seed decimals '3 0.0001 0 0 0 -3284.71488115 6.23e+00 5.530724 4.17e-01 -1.150E+00 0.939 -9.47e+00 8.8387 -6.780 9.790032 25860804 7.44e+00 1.6876 8.562876745 -5.183967507'
seed bad-forms '2 1e 0 0 4 1 2 1 5 3'
seed bad-sign '2 0.001 -- 0 4 1 2 1 5 3'
seed bad-dot '2 0.001 . 0 4 1 2 1 5 3'
seed int-edges '3 0 127 -128 128 -129 32767 -32768 32768 -32769 2147483647 -2147483648 4294967296 1 2 3'
seed many-digits '2 0.001 00000000000000000000000001 0 4 1 2 1 5 3'
seed repeat '2 -1 0 0 1 -1 1 -1 1 1'
seed zero-diagonal '2 0.001 0 0 0 1 2 1 0 3'
echo "$count seeds in $out"

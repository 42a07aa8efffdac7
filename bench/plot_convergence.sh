#!/usr/bin/env bash
# Plots how itsolv converges on mkprob's 10,000-variable problem: the largest
# relative change of every sweep, from `itsolv --monitor`, on a logarithmic
# axis, drawn by gnuplot as an SVG.
#
# usage: bench/plot_convergence.sh [BUILD_DIR] [SVG]
#   BUILD_DIR  CMake build directory holding bin/{itsolv,mkprob} (default: build)
#   SVG        the picture to write (default: docs/convergence.svg)
#
# The problem (about 300 MB, tolerance 0.0001) is written to a temporary
# directory and removed when done. Needs gnuplot (gnuplot-nox will do).
set -euo pipefail

die() {
  echo "plot_convergence.sh: $*" >&2
  exit 1
}

[[ $# -le 2 ]] || die "usage: plot_convergence.sh [BUILD_DIR] [SVG]"
build_dir=${1:-build}
svg=${2:-docs/convergence.svg}
for prog in itsolv mkprob; do
  [[ -x $build_dir/bin/$prog ]] || die "missing $build_dir/bin/$prog: cmake --build $build_dir -j2 --target $prog"
done
command -v gnuplot >/dev/null || die "gnuplot is needed (apt-get install gnuplot-nox)"
bin_dir=$(cd "$build_dir/bin" && pwd)
mkdir -p "$(dirname "$svg")"
svg=$(cd "$(dirname "$svg")" && pwd)/$(basename "$svg")

work=$(mktemp -d "${TMPDIR:-/tmp}/plot_convergence.XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work"
"$bin_dir/mkprob" 10000 0.0001 >/dev/null
"$bin_dir/itsolv" --monitor 10000.txt 2>sweeps.txt >/dev/null || die "itsolv failed on mkprob 10000 0.0001"

gnuplot <<PLOT
set terminal svg size 640,400 dynamic font "sans,12" background rgb "white"
set output "$svg"
set title "itsolv on mkprob 10000 0.0001: largest relative change per sweep"
set xlabel "sweep"
set ylabel "largest relative change"
set logscale y
set format y "10^{%L}"
set grid
set key top right
plot "sweeps.txt" using 1:2 with linespoints pointtype 7 pointsize 0.5 title "change", \\
     0.0001 with lines dashtype 2 title "tolerance"
PLOT
echo "$(wc -l <sweeps.txt) sweeps plotted in $svg"

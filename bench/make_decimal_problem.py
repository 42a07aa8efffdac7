#!/usr/bin/env python3
"""Writes a problem file whose numbers are decimals and exponent forms.

mkprob writes integers only; this problem makes the solvers scan tokens such
as 12.375, -3.5e-1, 4.25E+01 or 0.0625, so that their number reading is
measured (and compared) on non-integer input as well.

The matrix is strictly diagonally dominant in every row (the diagonal's
magnitude is 1.3 to 1.8 times the row's off-diagonal sum), all starting
values are 0 and the right-hand sides are scaled so that the solution has
values of order 1 to 20, printed with several significant digits. The same
N and seed always give the same file.

With --long every number has 17 significant digits, as a program that
dumps doubles writes them: the vector reader takes them in lanes of 32
bytes, and rounds their mantissas above 2^53 by way of a double.

usage: make_decimal_problem.py N OUTPUT [--seed S] [--tolerance T] [--long]
"""

import argparse
import random
import sys

POOL_SIZE = 8191


LONG = False  # every number with 17 significant digits (--long)


def render(rng: random.Random, value: float) -> str:
    """One of several spellings of a number that fscanf "%f" accepts."""
    if LONG:
        return f"{value:.17g}"  # 3.1415926535897931, as doubles are dumped
    style = rng.randrange(6)
    if style == 0:
        return f"{value:.3f}"  # 12.375
    if style == 1:
        return f"{value:.4f}"  # 0.0625
    if style == 2:
        return f"{value:.2e}"  # -3.50e-01
    if style == 3:
        return f"{value:.3E}"  # 4.250E+01
    if style == 4:
        return f"{value:.7g}"  # 3.141593 or 1.5e-05
    text = f"{value:.9f}".rstrip("0")  # 7.5
    return text + "0" if text.endswith(".") else text


def make_pool(
    rng: random.Random, low: float, high: float, negative: float
) -> tuple[list[str], list[float]]:
    """Tokens of magnitudes in [low, high), a share `negative` of them negative,
    never integers, with the magnitude each token reads as."""
    tokens: list[str] = []
    magnitudes: list[float] = []
    while len(tokens) < POOL_SIZE:
        value = rng.uniform(low, high)
        if rng.random() < negative:
            value = -value
        token = render(rng, value)
        read = float(token)
        if read == 0.0 or read.is_integer():
            continue
        tokens.append(token)
        magnitudes.append(abs(read))
    return tokens, magnitudes


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("n", type=int, help="number of variables (at least 1)")
    parser.add_argument("output", help="problem file to write")
    parser.add_argument("--seed", type=int, default=12345)
    parser.add_argument("--tolerance", default="0.0001")
    parser.add_argument("--long", action="store_true", help="write every number with 17 significant digits")
    args = parser.parse_args()
    global LONG
    LONG = args.long
    n = args.n
    if n < 1:
        print("make_decimal_problem.py: N must be at least 1", file=sys.stderr)
        return 1

    rng = random.Random(args.seed)
    tokens, magnitudes = make_pool(rng, 0.01, 10.0, 0.1)
    scales, scale_magnitudes = make_pool(rng, 0.5, 20.0, 0.4)
    columns = range(POOL_SIZE)

    with open(args.output, "w", encoding="ascii", newline="\n") as out:
        out.write(f"{n}\n{args.tolerance}\n")
        out.write("0 " * n + "\n")
        for i in range(n):
            picks = rng.choices(columns, k=n)
            off_sum = sum(magnitudes[k] for k in picks) - magnitudes[picks[i]]
            diagonal = max(off_sum, 1.0) * rng.uniform(1.3, 1.8)
            if rng.random() < 0.3:
                diagonal = -diagonal
            row = [tokens[k] for k in picks]
            row[i] = render(rng, diagonal)
            # Right-hand side: about diagonal x (0.5 .. 20), never zero.
            s = rng.randrange(POOL_SIZE)
            rhs = diagonal * scale_magnitudes[s] * (-1.0 if scales[s].startswith("-") else 1.0)
            row.append(render(rng, rhs))
            out.write(" ".join(row))
            out.write("\n")
    return 0


if __name__ == "__main__":
    sys.exit(main())

"""One-time cross-check of varnelkit's measures against SageMath's
``sage.crypto.boolean_function.BooleanFunction``.

Run with a Python that sees both SageMath (Debian ``sagemath``, not part of CI)
and an installed varnel, for example from the repository root after
``make install``:

    .venv/bin/python tools/sage_crosscheck.py [--max-n 12] [--per-n 12] [--seed 1]

On a seeded set of random functions for n = 3 .. max-n (uniform and biased),
plus constants, parity and the inner product, it compares the Walsh spectrum,
the algebraic normal form and degree, the non-linearity, the autocorrelation
with its absolute and sum-of-squares indicators, the correlation immunity,
the resiliency and the algebraic immunity, and prints for each measure the
number of functions on which the two agree and every difference.

Both tools read a table the same way (entry i = f(i), variable j = bit j of
i, hex most significant digit first), and Sage's Walsh transform uses the
(-1)^f convention, which varnelkit calls "standard".
"""

from __future__ import annotations

import argparse
import random
import sys
import time
from collections import defaultdict

from sage.all import ZZ  # noqa: F401  (initialises Sage)
from sage.crypto.boolean_function import BooleanFunction as SageFunction

from varnelkit import BooleanFunction


def sage_monomials(poly) -> list[int]:
    return sorted(sum(1 << k for k in m.iterindex()) for m in poly)


def measures_ours(f: BooleanFunction, with_ai: bool) -> dict[str, object]:
    out: dict[str, object] = {
        "walsh spectrum": tuple(f.walsh_spectrum("standard").tolist()),
        "anf": f.anf().monomials(),
        "algebraic degree": f.algebraic_degree(),
        "nonlinearity": f.no_linearity(),
        "autocorrelation": tuple(f.autocorrelation().tolist()),
        "absolute indicator": f.absolute_indicator(),
        "sum-of-squares indicator": f.sum_of_squares_indicator(),
        "correlation immunity": f.correlation_immunity(),
        "resiliency": f.resiliency(),
    }
    if with_ai:
        out["algebraic immunity"] = f.algebraic_immunity()
    return out


def measures_sage(s: SageFunction, with_ai: bool) -> dict[str, object]:
    out: dict[str, object] = {
        "walsh spectrum": tuple(int(w) for w in s.walsh_hadamard_transform()),
        "anf": sage_monomials(s.algebraic_normal_form()),
        "algebraic degree": int(s.algebraic_degree()),
        "nonlinearity": int(s.nonlinearity()),
        "autocorrelation": tuple(int(a) for a in s.autocorrelation()),
        "absolute indicator": int(s.absolute_indicator()),
        "sum-of-squares indicator": int(s.sum_of_square_indicator()),
        "correlation immunity": int(s.correlation_immunity()),
        "resiliency": int(s.resiliency_order()),
    }
    if with_ai:
        out["algebraic immunity"] = int(s.algebraic_immunity())
    return out


def functions(max_n: int, per_n: int, seed: int):
    rng = random.Random(seed)
    for n in range(3, max_n + 1):
        for k in range(per_n):
            p = (0.5, 0.5, 0.25, 0.75)[k % 4]
            yield f"random n={n} p={p}", [int(rng.random() < p) for _ in range(1 << n)]
        yield f"false n={n}", [0] * (1 << n)
        yield f"true n={n}", [1] * (1 << n)
        yield f"parity n={n}", [bin(x).count("1") & 1 for x in range(1 << n)]
        if n % 2 == 0:
            yield f"inner product n={n}", [
                sum((x >> j) & (x >> (j + 1)) & 1 for j in range(0, n, 2)) & 1
                for x in range(1 << n)]


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--max-n", type=int, default=12)
    parser.add_argument("--per-n", type=int, default=12)
    parser.add_argument("--ai-max-n", type=int, default=12,
                        help="largest n for algebraic immunity (SageMath takes about 40 s "
                             "a function at n = 12)")
    parser.add_argument("--seed", type=int, default=1)
    args = parser.parse_args()

    agree: dict[str, int] = defaultdict(int)
    total: dict[str, int] = defaultdict(int)
    differences: list[str] = []
    start = time.time()
    for name, table in functions(args.max_n, args.per_n, args.seed):
        n = len(table).bit_length() - 1
        with_ai = n <= args.ai_max_n
        ours = measures_ours(BooleanFunction(table), with_ai)
        theirs = measures_sage(SageFunction(table), with_ai)
        for key, value in ours.items():
            total[key] += 1
            if value == theirs[key]:
                agree[key] += 1
            else:
                shown = (lambda v: v if not isinstance(v, (tuple, list)) or len(v) <= 8
                         else f"{list(v)[:8]}...")
                differences.append(f"{name}: {key}: varnelkit {shown(value)}, "
                                   f"Sage {shown(theirs[key])}")
    print(f"SageMath cross-check, seed {args.seed}, n = 3..{args.max_n}, "
          f"{args.per_n} random functions per n plus constants, parity and inner "
          f"products ({time.time() - start:.0f} s)")
    for key in total:
        print(f"  {key:<26} {agree[key]:5d} / {total[key]:<5d} agree")
    print(f"{len(differences)} differences")
    for line in differences:
        print("  " + line)
    return 0


if __name__ == "__main__":
    sys.exit(main())

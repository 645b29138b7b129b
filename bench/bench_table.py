"""`table` for n = 24 against the time NumPy needs to copy a bool array of the
same size (2^24 entries), and `information` / `fragmentation_coefficient`
through the binding. Each table is checked against the restriction matrix
that NumPy makes by moving the axes of the table."""
import random
import sys

import numpy as np

import peers
from peers import best as _best


def best(f, reps=7):
    return _best(f, reps)


def numpy_table(body, n, vars):
    """The restriction matrix of the table `body` (2^n entries): the sorted
    `vars` index the rows, the other variables the columns, the j-th smallest
    of each at bit j."""
    fixed = sorted(vars)
    free = [v for v in range(n) if v not in fixed]
    # Axis i of the reshaped table is variable n - 1 - i.
    order = [n - 1 - v for v in reversed(fixed)] + [n - 1 - v for v in reversed(free)]
    return body.reshape([2] * n).transpose(order).reshape(1 << len(fixed), -1).astype(bool)


def main():
    rng = random.Random(24)
    n = 24
    # A random 2^24-entry function, built through the byte encoding.
    body = peers.random_bits(n, 1)
    v = peers.to_varnel(body)
    source = np.random.default_rng(2).integers(0, 2, 1 << n).astype(bool)
    copy = best(lambda: source.copy())
    for vars in ([], list(range(12)), list(range(12, 24)), rng.sample(range(n), 12),
                 rng.sample(range(n), 5)):
        ours = best(lambda: v.table(vars))
        peers.check(f"table n=24 vars={vars}", np.array_equal(v.table(vars), numpy_table(body, n, vars)))
        label = f"table n=24 vars={'random ' + str(len(vars)) if vars and vars != list(range(vars[0], vars[0] + len(vars))) else vars if not vars else f'{vars[0]}..{vars[-1]}'}"
        peers.line(label, ours, "numpy copy", copy)
    vars = rng.sample(range(n), 12)
    t = best(lambda: v.information(vars))
    peers.line("information n=24 k=12", t)
    t = best(lambda: v.fragmentation_coefficient(vars))
    peers.line("fragmentation_coefficient n=24 k=12", t)
    return peers.verdict()


if __name__ == "__main__":
    sys.exit(main())

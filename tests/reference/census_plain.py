"""Plain definitions behind the census, for the Python tests: the rank
correlation of a population written out one member at a time, the shortest
single-precision text found by trying every precision, the NPN orbit by
applying every transform to the table entry by entry, and a function's row
taken one method call at a time."""
from itertools import permutations

import numpy as np


def ranks(values):
    """1-based ranks, ties sharing the mean of their positions."""
    order = sorted(range(len(values)), key=lambda i: values[i])
    out = [0.0] * len(values)
    i = 0
    while i < len(order):
        j = i
        while j + 1 < len(order) and values[order[j + 1]] == values[order[i]]:
            j += 1
        for k in range(i, j + 1):
            out[order[k]] = (i + j) / 2 + 1
        i = j + 1
    return out


def spearman(xs, ys, weights):
    """Pearson correlation of the ranks of the population where pair i
    occurs weights[i] times."""
    x = [a for a, w in zip(xs, weights) for _ in range(w)]
    y = [b for b, w in zip(ys, weights) for _ in range(w)]
    rx, ry = ranks(x), ranks(y)
    n = len(x)
    mx, my = sum(rx) / n, sum(ry) / n
    cov = sum((a - mx) * (b - my) for a, b in zip(rx, ry))
    vx = sum((a - mx) ** 2 for a in rx)
    vy = sum((b - my) ** 2 for b in ry)
    return cov / (vx * vy) ** 0.5


def shortest_float32(x):
    """The shortest %g text of the single-precision number x."""
    target = np.float32(x)
    for p in range(1, 10):
        text = f"{float(target):.{p}g}"
        if np.float32(float(text)) == target:
            return text
    raise AssertionError(x)


def orbit_size(word):
    """Number of distinct five-input functions NPN-equivalent to word."""
    table = [(word >> i) & 1 for i in range(32)]
    seen = set()
    for perm in permutations(range(5)):
        for flips in range(32):
            image = 0
            for x in range(32):
                y = sum(((x >> j) & 1) << perm[j] for j in range(5)) ^ flips
                image |= table[y] << x
            seen.add(image)
            seen.add(image ^ 0xFFFFFFFF)
    return len(seen)


def table_bits(f):
    """The table of a Varnel as an integer, entry i in bit i."""
    return sum(1 << i for i, b in enumerate(f.repr()) if b)


def row(f, names):
    """The measure values of f, one plain call per method name."""
    out = []
    for name in names:
        if name == "weight":
            out.append(sum(f.repr()))
        elif name == "influence":
            out.append([f.influence(j) for j in range(f.n_vars())])
        elif name == "fragmentation_peak_k":
            out.append(f.fragmentation_peak()[0])
        elif name == "fragmentation_peak":
            out.append(f.fragmentation_peak()[1])
        elif name == "npn_representant":
            r = f.npn_representant()
            out.append(None if r is None else table_bits(r))
        else:
            out.append(getattr(f, name)())
    return out

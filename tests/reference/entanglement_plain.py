"""Plain entropy and entanglement over the balanced bipartitions, written as
the definitions: the bipartitions by the combination algorithm (lexicographic
combinations of the candidate variables, variable 0 put in front for even n,
complement by a membership scan); for each side the sub-function of every
assignment of its variables, the distinct sub-functions and how often each
occurs; the entropy in single precision with the C library's log2f, terms
added in ascending order of count; the value of a pair with its first side
first; the strict minimum in enumeration order."""
import numpy as np

from restriction_plain import deposit, entropy as entropy_of_counts, n_vars


def combinations(pool, k):
    """Index vectors of size k from a pool of `pool` items, lexicographic."""
    if k > pool:
        return
    idx = list(range(k))
    yield list(idx)
    while True:
        t = k - 1
        while t >= 0 and idx[t] >= pool - k + t:
            t -= 1
        if t < 0:
            return
        idx[t] += 1
        for j in range(t + 1, k):
            idx[j] = idx[j - 1] + 1
        yield list(idx)


def bipartitions(n):
    """The balanced bipartitions (S, C) of n >= 1 variables, in order."""
    first = 0 if n % 2 == 1 else 1
    k = n // 2 if n % 2 == 1 else n // 2 - 1
    for idx in combinations(n - first, k):
        s = ([0] if first else []) + [first + i for i in idx]
        c = [v for v in range(n) if v not in s]
        yield s, c


def form_counts(table, vars):
    """Counts of the distinct sub-functions left by fixing `vars` (distinct,
    in range): one row per assignment, entry j the value at base | offset[j]."""
    table = np.asarray(table, dtype=np.uint8)
    fixed = sorted(vars)
    free = [v for v in range(n_vars(table)) if v not in fixed]
    offsets = np.array([deposit(j, free) for j in range(1 << len(free))], dtype=np.int64)
    bases = np.array([deposit(a, fixed) for a in range(1 << len(fixed))], dtype=np.int64)
    rows = table[bases[:, None] | offsets[None, :]]
    _, counts = np.unique(rows, axis=0, return_counts=True)
    return [int(c) for c in counts]


def side_entropy(table, vars):
    return entropy_of_counts(form_counts(table, vars), len(vars))


def side_forms(table, vars):
    return len(form_counts(table, vars))


def pair_entropy(table, a, b):
    return float(np.float32(side_entropy(table, a)) + np.float32(side_entropy(table, b)))


def pair_entanglement(table, a, b):
    return side_forms(table, a) + side_forms(table, b)


def entropy_sets(table):
    return [(a, b, pair_entropy(table, a, b)) for a, b in bipartitions(n_vars(table))]


def entanglement_sets(table):
    return [(a, b, pair_entanglement(table, a, b)) for a, b in bipartitions(n_vars(table))]


def strict_minimum(values):
    best = None
    for v in values:
        if best is None or v < best:
            best = v
    return best


def entropy(table):
    return strict_minimum(v for _, _, v in entropy_sets(table))


def entanglement(table):
    return strict_minimum(v for _, _, v in entanglement_sets(table))

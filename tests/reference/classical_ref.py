"""Plain reference implementations of the classical measures, for the Python
tests: the literal definitions on a list of Booleans, single precision through
NumPy float32 scalars (one IEEE operation at a time, in index order) and the C
library's logf through ctypes."""
import ctypes
import ctypes.util

import numpy as np

_libm = ctypes.CDLL(ctypes.util.find_library("m"))
_libm.logf.restype = ctypes.c_float
_libm.logf.argtypes = [ctypes.c_float]

F32 = np.float32


def logf(x):
    return F32(_libm.logf(float(x)))


def n_vars(table):
    return len(table).bit_length() - 1


def walsh(table):
    """The int64 transform of the sign vector (true = +1), stage by stage."""
    v = np.where(np.asarray(table, dtype=bool), 1, -1).astype(np.int64)
    h = 1
    while h < len(v):
        blocks = v.reshape(-1, 2, h)
        a, b = blocks[:, 0, :].copy(), blocks[:, 1, :].copy()
        blocks[:, 0, :], blocks[:, 1, :] = a + b, a - b
        h *= 2
    return v


def coefficients(table):
    div = F32(1 << n_vars(table))
    return [F32(int(w)) / div for w in walsh(table)]


def spectral_entropy(table):
    acc = F32(-0.0)
    for c in coefficients(table):
        if c == 0:
            continue
        q = c * c
        acc = acc - logf(q) * q
    return acc


def spectral_entropy_accurate(table):
    """From 13 variables on: the same single-precision terms, accumulated in
    double precision one distinct |W| at a time in ascending order (the term
    times its count), rounded once to single precision."""
    div = F32(1 << n_vars(table))
    magnitudes, counts = np.unique(np.abs(walsh(table)), return_counts=True)
    acc = -0.0
    for m, k in zip(magnitudes, counts):
        if m == 0:
            continue
        c = F32(int(m)) / div
        q = c * c
        acc = acc - float(k) * float(logf(q) * q)
    return F32(acc)


def _saturate_u32(x):
    if np.isnan(x) or x < 0:
        return 0
    if x > F32(4294967040.0):
        return 2**32 - 1
    return int(x)


def no_linearity(table):
    n = n_vars(table)
    if n == 0:
        return 0
    m = int(np.abs(walsh(table)).max())
    return _saturate_u32(F32(m) * F32(-0.5) + F32(1 << (n - 1)))


def degree(table):
    return max((bin(s).count("1") for s, w in enumerate(walsh(table)) if w != 0), default=0)


def influence(table, var):
    acc = F32(-0.0)
    for s, c in enumerate(coefficients(table)):
        if (s >> var) & 1:
            acc = acc + c * c
    return acc


def total_influence(table):
    acc = F32(-0.0)
    for s, c in enumerate(coefficients(table)):
        if s:
            acc = acc + F32(bin(s).count("1")) * (c * c)
    return acc


def sensitivities(table):
    n = n_vars(table)
    return [sum(table[x] != table[x ^ (1 << j)] for j in range(n)) for x in range(len(table))]


def max_sensitivity(table):
    return max(sensitivities(table)) if n_vars(table) else 0


def mean_sensitivity(table):
    return F32(sum(sensitivities(table))) / F32(len(table))


def frontier_edges(table):
    """(false endpoint, true endpoint) in generation order."""
    n = n_vars(table)
    return [(x, x ^ (1 << i)) for x in range(len(table)) if not table[x]
            for i in range(n) if table[x ^ (1 << i)]]


def max_frontier_size(table):
    ones = sum(table)
    return min(ones, len(table) - ones) * n_vars(table)


def certificate_complexity(table):
    """For each input, the fewest fixed variables whose subcube is monochromatic,
    by trying every set of fixed variables."""
    t = np.asarray(table, dtype=np.int64)
    size = len(t)
    x = np.arange(size)
    best = np.full(size, n_vars(table))
    for fixed in range(size):
        key = x & fixed
        ones = np.bincount(key, weights=t, minlength=size)
        count = np.bincount(key, minlength=size)
        mono = (ones[key] == 0) | (ones[key] == count[key])
        best = np.where(mono, np.minimum(best, bin(fixed).count("1")), best)
    return int(best.max())

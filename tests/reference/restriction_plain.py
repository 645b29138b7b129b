"""Plain restriction counting in Python, written as the literal definitions:
the sub-function of every assignment of the fixed variables, a dictionary of
distinct sub-functions, and the entropy in single precision with the C
library's log2f, terms added in ascending order of count."""
import ctypes
import ctypes.util

import numpy as np

_libm = ctypes.CDLL(ctypes.util.find_library("m"))
_libm.log2f.restype = ctypes.c_float
_libm.log2f.argtypes = [ctypes.c_float]


def deposit(value, positions):
    result = 0
    for j, p in enumerate(positions):
        if (value >> (j % 64)) & 1:
            result |= 1 << (p % 64)
    return result


def n_vars(table):
    return len(table).bit_length() - 1


def table_rows(table, vars):
    """Rows of the restriction table; entries past the table read False."""
    fixed = sorted(vars)
    n = n_vars(table)
    free = [v for v in range(n) if v not in fixed]
    offsets = [deposit(j, free) for j in range(1 << len(free))]
    rows = []
    for a in range(1 << len(fixed)):
        base = deposit(a, fixed)
        rows.append(tuple(table[base | o] if (base | o) < len(table) else False
                          for o in offsets))
    return rows


def form_counts(table, vars):
    counts = {}
    for row in table_rows(table, vars):
        counts[row] = counts.get(row, 0) + 1
    return counts


def information(table, vars):
    return len(form_counts(table, vars))


def entropy(counts, k):
    total = np.float32(1 << k)
    acc = np.float32(-0.0)
    for c in sorted(counts):
        p = np.float32(c) / total
        term = np.float32(_libm.log2f(float(p))) * p
        acc = np.float32(acc + term)
    return float(-acc)


def set_entropy(table, vars):
    return entropy(list(form_counts(table, vars).values()), len(vars))

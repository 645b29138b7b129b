"""The fragmentation family in Python, written as the literal definitions:
the level list of k-subsets in lexicographic order, the restriction entropy
of each (restriction_plain), summed in list order from -0.0 in single
precision and divided once by float32(C(n, k)); the profile, its
differences and its first peak."""
import itertools

import numpy as np

import restriction_plain


def level_list(n, k):
    return [list(s) for s in itertools.combinations(range(n), k)]


def fragmentation_k(table, k):
    n = restriction_plain.n_vars(table)
    if k > n:
        return 0.0
    subsets = level_list(n, k)
    acc = np.float32(-0.0)
    for s in subsets:
        acc = np.float32(acc + np.float32(restriction_plain.set_entropy(table, s)))
    return float(np.float32(acc / np.float32(len(subsets))))


def profile(table):
    n = restriction_plain.n_vars(table)
    return [fragmentation_k(table, k) for k in range(n + 1)]


def differences(values):
    return [float(np.float32(np.float32(b) - np.float32(a)))
            for a, b in zip(values, values[1:])]


def peak(values):
    best = (0, float("-inf"))
    for i, v in enumerate(values):
        if v > best[1]:
            best = (i, v)
    return best

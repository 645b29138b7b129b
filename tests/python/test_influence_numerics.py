"""Influence and total influence of large functions against their closed
forms. From 13 variables on both are counts on the table rounded once to
single precision, so they equal the exact value rounded to float32, and the
total influence equals the mean sensitivity bit for bit."""
from math import comb

import numpy as np
import pytest

from varnel import Varnel


def f32(count, n):
    """count / 2^n rounded once to single precision (both steps exact in double
    but the last)."""
    return float(np.float32(count / 2**n))


def bits(x):
    return np.float32(x).view(np.uint32)


def index_bits(n):
    return np.arange(1 << n, dtype=np.uint32)


def inner_product(n):
    """The bent function x_0 y_0 + ... + x_{m-1} y_{m-1} mod 2, n = 2m, with x
    the low half of the index and y the high half."""
    m = n // 2
    x = index_bits(n)
    low = x & ((1 << m) - 1)
    v = low & (x >> m)
    parity = np.zeros(1 << n, dtype=np.uint32)
    while v.any():
        parity ^= v & 1
        v >>= 1
    return parity.astype(bool)


def tribes(width, count):
    """OR of `count` ANDs of `width` consecutive variables each."""
    x = index_bits(width * count)
    out = np.zeros(x.shape, dtype=bool)
    tribe = (1 << width) - 1
    for t in range(count):
        out |= (x >> (t * width)) & tribe == tribe
    return out


def check(v, n, per_var, total):
    """per_var: the exact change count of each variable; total: their sum."""
    for var, count in per_var.items():
        assert bits(v.influence(var)) == bits(f32(count, n)), var
    assert bits(v.influence(n)) == bits(-0.0)
    assert bits(v.total_influence()) == bits(f32(total, n))
    assert bits(v.mean_sensitivity()) == bits(v.total_influence())


@pytest.mark.parametrize("n", [20, 21, 24, 27, 28])
def test_majority(n):
    # Flipping x_i changes majority exactly when the other n - 1 bits hold
    # floor(n/2) ones: 2 C(n-1, floor(n/2)) inputs.
    count = 2 * comb(n - 1, n // 2)
    check(Varnel.majority(n), n, {0: count, n // 2: count, n - 1: count}, n * count)


def test_majority_28_recovers_the_small_terms():
    v = Varnel.majority(28)
    assert v.total_influence() == pytest.approx(4.18449, abs=1e-5)


@pytest.mark.parametrize("n", [20, 22, 26])
def test_bent_inner_product(n):
    # Flipping x_i changes the value exactly when y_i = 1: half the inputs.
    half = 1 << (n - 1)
    v = Varnel(inner_product(n))
    check(v, n, {0: half, n // 2 - 1: half, n // 2: half, n - 1: half}, n * half)
    assert v.influence(0) == 0.5 and v.total_influence() == n / 2


@pytest.mark.parametrize("width,count", [(4, 5), (5, 5), (3, 8)])
def test_tribes(width, count):
    # Flipping a variable matters when the rest of its tribe is all ones and
    # no other tribe is: 2 (2^w - 1)^(s - 1) inputs.
    n = width * count
    changes = 2 * (2**width - 1) ** (count - 1)
    check(Varnel(tribes(width, count)), n, {0: changes, n - 1: changes}, n * changes)


@pytest.mark.parametrize("n", [20, 28])
def test_and_or(n):
    table = np.zeros(1 << n, dtype=bool)
    table[-1] = True
    # AND: only the neighbours of the all-ones input, and it, see a change.
    check(Varnel(table), n, {0: 2, n - 1: 2}, 2 * n)
    table[:] = True
    table[0] = False
    check(Varnel(table), n, {0: 2, n - 1: 2}, 2 * n)


def test_parity_and_constants_keep_their_sign_rules():
    v = Varnel.parity(14)
    assert all(v.influence(j) == 1.0 for j in range(14))
    assert v.total_influence() == 14.0
    z = Varnel(np.zeros(1 << 14, dtype=bool))
    assert all(bits(z.influence(j)) == bits(0.0) for j in range(14))
    assert all(bits(z.influence(j)) == bits(-0.0) for j in (14, 64, 2**64 - 1))
    assert bits(z.total_influence()) == bits(0.0)

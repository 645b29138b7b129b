"""The spectral measures where single precision used to fail: from 13 variables
the entropy's terms are summed in double precision (bit for bit against the
reference), and from 20 to 28 variables the results match closed forms of
bent, majority, AND and OR functions."""
import math
import os
import struct
import sys

import numpy as np
import pytest

from varnel import Varnel

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "reference"))
import classical_ref as ref  # noqa: E402


def same(a, b):
    return struct.pack("<d", float(a)) == struct.pack("<d", float(b))


def from_bits(bits):
    """A Varnel holding the uint8 0/1 array `bits`, through the byte encoding."""
    n = len(bits).bit_length() - 1
    raw = Varnel.from_number(0, n).encode()
    return Varnel.decode(raw[: len(raw) - len(bits)] + bits.astype(np.uint8).tobytes())


def inner_product_bits(n):
    """x0 x1 + x2 x3 + ... (mod 2), bent for even n: the XOR of the inner
    products of the low and the high half of the variables."""
    half = n // 2
    x = np.arange(1 << half, dtype=np.uint32)
    ip = np.zeros(1 << half, dtype=np.uint8)
    for j in range(0, half - 1, 2):
        ip ^= ((x >> j) & (x >> (j + 1)) & 1).astype(np.uint8)
    return (ip[:, None] ^ ip[None, :]).reshape(-1)


def symmetric_closed_form(n, g):
    """Entropy, non-linearity and degree of the symmetric function g(weight),
    from W_k = sum_j sign(g(j)) sum_i (-1)^i C(k, i) C(n - k, j - i)."""
    entropy, largest, degree = 0.0, 0, 0
    for k in range(n + 1):
        w = sum((1 if g(j) else -1) * sum((-1) ** i * math.comb(k, i) * math.comb(n - k, j - i)
                                         for i in range(0, min(j, k) + 1))
                for j in range(n + 1))
        if w:
            q = (w / 2**n) ** 2
            entropy -= math.comb(n, k) * q * math.log(q)
            largest, degree = max(largest, abs(w)), k
    return entropy, 2 ** (n - 1) - largest // 2, degree


@pytest.mark.parametrize("n", [13, 14, 16])
def test_entropy_from_thirteen_variables_is_the_double_sum(n):
    rng = np.random.default_rng(n)
    for p in (0.5, 0.5, 0.1, 0.97):
        bits = (rng.random(1 << n) < p).astype(np.uint8)
        t = [bool(b) for b in bits]
        assert same(from_bits(bits).spectral_entropy(), ref.spectral_entropy_accurate(t))


@pytest.mark.parametrize("n", [20, 24, 28])
def test_bent_functions(n):
    v = from_bits(inner_product_bits(n))
    h = v.spectral_entropy()
    assert same(h, -ref.logf(np.float32(2.0**-n)))
    assert h == pytest.approx(n * math.log(2), rel=1e-6)
    assert v.no_linearity() == 2 ** (n - 1) - 2 ** (n // 2 - 1)
    assert v.degree() == n


@pytest.mark.parametrize("n", [20, 21, 24, 25, 28])
def test_majority(n):
    v = Varnel.majority(n)
    entropy, no_linearity, degree = symmetric_closed_form(n, lambda j: 2 * j > n)
    assert v.spectral_entropy() == pytest.approx(entropy, rel=2e-6)
    assert (v.no_linearity(), v.degree()) == (no_linearity, degree)


def test_majority_of_24_variables_keeps_its_small_terms():
    # The single-precision running sum gave 5.529.
    assert Varnel.majority(24).spectral_entropy() == pytest.approx(7.008, abs=1e-3)


@pytest.mark.parametrize("name", ["and", "or"])
def test_and_or_of_26_variables(name):
    n = 26
    bits = np.zeros(1 << n, dtype=np.uint8) if name == "and" else np.ones(1 << n, dtype=np.uint8)
    bits[-1 if name == "and" else 0] = 1 if name == "and" else 0
    v = from_bits(bits)
    g = (lambda j: j == n) if name == "and" else (lambda j: j > 0)
    entropy, no_linearity, degree = symmetric_closed_form(n, g)
    assert (v.no_linearity(), v.degree()) == (1, n) == (no_linearity, degree)
    # The largest coefficient rounds to 1 in single precision and adds no term.
    assert v.spectral_entropy() == pytest.approx(entropy, rel=2e-6, abs=1e-7)

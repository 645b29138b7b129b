"""The measures of varnelkit against the plain definitions on seeded random
functions, against textbook closed forms, and the known inequalities between
the query-complexity measures; the package's types under mypy --strict."""
import os
import random
import sys
from fractions import Fraction

import numpy as np
import pytest

import varnelkit as vk
from varnelkit import BooleanFunction

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "reference"))
import boolean_ref as ref  # noqa: E402

HERE = os.path.dirname(__file__)


def random_functions(seed, sizes, per_size):
    rng = random.Random(seed)
    for n in sizes:
        for k in range(per_size):
            p = (0.5, 0.2, 0.85)[k % 3]
            yield [int(rng.random() < p) for _ in range(1 << n)]


def from_rule(n, rule):
    return [int(bool(rule(x))) for x in range(1 << n)]


def weight(x):
    return bin(x).count("1")


# Textbook functions.
def inner_product(n):
    return from_rule(n, lambda x: sum((x >> j) & (x >> (j + 1)) & 1 for j in range(0, n - 1, 2)) & 1)


def parity(n):
    return from_rule(n, lambda x: weight(x) & 1)


def majority(n):
    return from_rule(n, lambda x: weight(x) > n // 2)


def address(k):
    """Multiplexer: k address bits (low) select one of 2^k data bits."""
    return from_rule(k + (1 << k), lambda x: (x >> (k + (x & ((1 << k) - 1)))) & 1)


def tribes(n, w):
    return from_rule(n, lambda x: any((x >> b) & ((1 << w) - 1) == (1 << w) - 1
                                      for b in range(0, n - w + 1, w)))


# --- against the definitions ----------------------------------------------------


@pytest.mark.parametrize("t", list(random_functions(1, range(0, 8), 3)))
def test_spectral_measures_match_the_definitions(t):
    f = BooleanFunction(t)
    n = f.n
    w_std = ref.walsh_standard(t)
    assert vk.walsh_spectrum(f, "standard").tolist() == w_std
    assert f.walsh_spectrum().tolist() == [-w for w in w_std]
    assert f.fourier_coefficients("standard").tolist() == [w / (1 << n) for w in w_std]
    levels = [sum(Fraction(w * w, 4 ** n) for s, w in enumerate(w_std) if weight(s) == k)
              for k in range(n + 1)]
    assert f.fourier_weights().tolist() == [float(x) for x in levels]
    r = ref.autocorrelation(t)
    assert f.autocorrelation().tolist() == r
    assert f.absolute_indicator() == max((abs(x) for x in r[1:]), default=0)
    assert f.sum_of_squares_indicator() == sum(x * x for x in r)
    assert f.linear_structures() == [(a, 0 if r[a] > 0 else 1) for a in range(1, len(t))
                                     if abs(r[a]) == len(t)]
    assert f.is_balanced() == ref.is_balanced(t)
    assert f.correlation_immunity() == ref.correlation_immunity(t)
    assert f.resiliency() == ref.resiliency(t)
    assert f.propagation_criterion() == ref.propagation_criterion(t)
    assert f.is_bent() == ref.is_bent(t)
    assert f.is_symmetric() == ref.is_symmetric(t)
    # The spectrum is the one behind Varnel's own spectral measures.
    assert f.no_linearity() == (1 << n) // 2 - int(np.abs(f.walsh_spectrum()).max()) // 2


@pytest.mark.parametrize("t", list(random_functions(2, range(0, 8), 3)))
def test_algebraic_measures_match_the_definitions(t):
    f = BooleanFunction(t)
    a = ref.anf(t)
    form = f.anf()
    assert form.monomials() == [u for u, c in enumerate(a) if c]
    assert form.coefficients().repr() == [bool(c) for c in a]
    assert f.algebraic_degree() == ref.algebraic_degree(t) == form.degree
    assert f.algebraic_immunity() == ref.algebraic_immunity(t)


@pytest.mark.parametrize("t", list(random_functions(3, range(0, 7), 4)))
def test_query_measures_match_the_definitions(t):
    f = BooleanFunction(t)
    assert f.decision_tree_depth() == ref.decision_tree_depth(t)
    assert f.block_sensitivity() == ref.block_sensitivity(t)


def test_polynomial_string():
    assert str(BooleanFunction.majority(3).anf()) == "x0*x1 + x0*x2 + x1*x2"
    assert str(BooleanFunction([1, 0, 0, 1]).anf()) == "x0 + x1 + 1"
    assert str(BooleanFunction([0, 0]).anf()) == "0"
    assert str(BooleanFunction([1]).anf()) == "1"
    f = BooleanFunction.from_hex("169ae443")
    g = BooleanFunction.from_callable(
        lambda *x: eval(str(f.anf()).replace("*", "&").replace("+", "^"),
                        {f"x{j}": x[j] for j in range(5)}), 5)
    assert g == f


# --- closed forms -----------------------------------------------------------------


@pytest.mark.parametrize("n", [2, 4, 6, 8, 10, 12])
def test_inner_product_is_bent(n):
    f = BooleanFunction(inner_product(n))
    assert f.is_bent()
    assert set(np.abs(f.walsh_spectrum()).tolist()) == {1 << (n // 2)}
    assert f.absolute_indicator() == 0
    assert f.propagation_criterion() == n
    assert f.sum_of_squares_indicator() == 1 << (2 * n)
    assert f.algebraic_degree() == 2
    assert f.no_linearity() == (1 << (n - 1)) - (1 << (n // 2 - 1))
    assert not f.is_balanced() and f.resiliency() == -1
    assert f.correlation_immunity() == 0
    assert f.linear_structures() == []


@pytest.mark.parametrize("n", [1, 2, 5, 9, 16])
def test_parity(n):
    f = BooleanFunction(parity(n))
    assert f.is_balanced() and f.correlation_immunity() == n - 1 and f.resiliency() == n - 1
    assert f.algebraic_degree() == 1 and f.is_symmetric()
    assert f.absolute_indicator() == 1 << n
    assert len(f.linear_structures()) == (1 << n) - 1
    assert f.propagation_criterion() == 0
    w = f.walsh_spectrum("standard")
    assert w[-1] == 1 << n and np.count_nonzero(w) == 1
    if n <= 16:
        assert f.decision_tree_depth() == n and f.block_sensitivity() == n
    if n <= 14:
        assert f.algebraic_immunity() == 1


@pytest.mark.parametrize("n", [1, 3, 5, 7, 9, 11])
def test_majority(n):
    f = BooleanFunction.majority(n)
    assert f.is_symmetric() and f.is_balanced()
    assert f.algebraic_immunity() == (n + 1) // 2
    assert f.decision_tree_depth() == n
    assert f.block_sensitivity() == (n + 1) // 2
    # Correlation immune of order 0 only (the influences are non-zero), and the
    # degree is the largest power of two not above n.
    assert f.correlation_immunity() == 0
    assert f.algebraic_degree() == 1 << (n.bit_length() - 1)


@pytest.mark.parametrize("k", [1, 2, 3])
def test_address_function(k):
    f = BooleanFunction(address(k))
    n = k + (1 << k)
    assert f.n == n and f.is_balanced()
    assert f.decision_tree_depth() == k + 1
    assert f.algebraic_degree() == k + 1
    assert f.certificate_complexity() == k + 1
    assert f.max_sensitivity() <= f.block_sensitivity() <= k + 1


@pytest.mark.parametrize("n, w", [(4, 2), (6, 3), (9, 3), (12, 4)])
def test_tribes(n, w):
    f = BooleanFunction(tribes(n, w))
    tribes_count = n // w
    assert f.algebraic_degree() == n
    assert f.decision_tree_depth() == n
    assert f.block_sensitivity() == max(tribes_count, w)
    assert f.certificate_complexity() == max(tribes_count, w)


def test_constants():
    for value in (0, 1):
        f = BooleanFunction([value] * 16)
        assert f.algebraic_degree() == 0 and f.algebraic_immunity() == 0
        assert f.decision_tree_depth() == 0 and f.block_sensitivity() == 0
        assert f.correlation_immunity() == 4 and f.resiliency() == -1
        assert f.anf().monomials() == ([0] if value else [])


# --- inequalities -------------------------------------------------------------------


@pytest.mark.parametrize("seed", range(6))
def test_query_measures_are_ordered(seed):
    rng = random.Random(seed)
    for n in range(1, 11):
        p = rng.choice([0.5, 0.1, 0.9, 0.3])
        f = BooleanFunction([rng.random() < p for _ in range(1 << n)])
        s, bs = f.max_sensitivity(), f.block_sensitivity()
        c, d = f.certificate_complexity(), f.decision_tree_depth()
        assert s <= bs <= c <= d <= n
        assert f.degree() <= d and f.algebraic_degree() <= d
        assert d <= c * bs and c <= s * bs


# --- errors, sizes and typing ----------------------------------------------------------


@pytest.mark.parametrize("name, n", [("algebraic_immunity", 17), ("decision_tree_depth", 19),
                                     ("block_sensitivity", 25)])
def test_measures_beyond_their_size_are_value_errors(name, n):
    with pytest.raises(ValueError, match="at most"):
        getattr(BooleanFunction.from_int(0, n), name)()


def test_functions_accept_anything_the_constructor_takes():
    from varnel import Varnel
    assert vk.algebraic_degree([0, 0, 0, 1]) == 2
    assert vk.is_bent(Varnel([False, False, False, True]))
    with pytest.raises(ValueError, match="convention"):
        vk.walsh_spectrum([0, 1], "sage")


def test_large_transforms_are_consistent():
    rng = np.random.default_rng(9)
    n = 18
    f = BooleanFunction(rng.integers(0, 2, 1 << n).astype(bool))
    w = f.walsh_spectrum()
    assert int((w * w).sum()) == 1 << (2 * n)
    r = f.autocorrelation()
    assert r[0] == 1 << n
    assert f.sum_of_squares_indicator() == int((w.astype(object) ** 4).sum()) >> n
    assert f.anf().coefficients().anf().coefficients() == f


def test_native_buffers_are_checked():
    from varnelkit import _native
    words = np.zeros(2, dtype=np.uint64)
    with pytest.raises(ValueError, match="needs 16 bytes"):
        _native.algebraic_degree(words[:1], 7)
    with pytest.raises(ValueError, match="64-bit integers"):
        _native.walsh_spectrum(words, 3, np.empty(4, dtype=np.int64))
    with pytest.raises(ValueError, match="64-bit integers"):
        _native.walsh_spectrum(words, 3, np.empty(8, dtype=np.int32))
    with pytest.raises(ValueError, match="contiguous"):
        _native.walsh_spectrum(words, 3, np.empty(8, dtype=np.int64)[::-1])
    with pytest.raises(TypeError, match="argument 'table'"):
        _native.algebraic_degree(3, 1)

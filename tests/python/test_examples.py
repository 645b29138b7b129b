"""The function families as class methods: the stated tables, the literal
definitions entry by entry at small sizes, and the failures at the limits."""
from itertools import combinations

import pytest

from varnel import Varnel

import families_ref as ref
from helpers import panics

FAMILIES = ["majority", "parity", "coprimes", "primality", "sum_is_prime", "clique"]


def build(name, n):
    return getattr(Varnel, name)(n)


def true_at(f):
    return [i for i, e in enumerate(f.repr()) if e]


# ---------------------------------------------------------------------------
# Registration

def test_registered_after_size_in_order():
    names = list(Varnel.__dict__)
    start = names.index("size")
    assert names[start:start + 8] == ["size", *FAMILIES, "n_vars"]


@pytest.mark.parametrize("name", FAMILIES)
def test_class_method_shape(name):
    method = Varnel.__dict__[name]
    assert method.__text_signature__ == "($cls, n)"
    assert not method.__doc__
    assert build(name, 2).size() == getattr(Varnel, name)(n=2).size()
    # Called through an instance, the instance is ignored and left unchanged.
    v = Varnel([True, False])
    assert getattr(v, name)(2).repr() == build(name, 2).repr()
    assert v.repr() == [True, False]


# ---------------------------------------------------------------------------
# Stated tables

@pytest.mark.parametrize("name, table", [
    ("parity", [True]),
    ("majority", [False]),
    ("primality", [False]),
    ("coprimes", [False]),
    ("sum_is_prime", [False]),
    ("clique", [True]),
])
def test_zero_gives_one_entry(name, table):
    f = build(name, 0)
    assert (f.n_vars(), f.repr()) == (0, table)


@pytest.mark.parametrize("name, n, table", [
    ("parity", 2, [True, False, False, True]),
    ("majority", 2, [False, False, False, True]),
    ("primality", 1, [False, False]),
    ("primality", 2, [False, False, True, True]),
    ("coprimes", 1, [False, True, True, True]),
    ("sum_is_prime", 1, [False, False, False, True]),
    ("clique", 2, [True, True]),
    ("clique", 3, [True] * 8),
])
def test_stated_tables(name, n, table):
    assert build(name, n).repr() == table


@pytest.mark.parametrize("name, n, ones", [
    ("majority", 3, [3, 5, 6, 7]),
    ("majority", 4, [7, 11, 13, 14, 15]),
    ("primality", 4, [2, 3, 5, 7, 11, 13]),
])
def test_stated_true_inputs(name, n, ones):
    assert true_at(build(name, n)) == ones


def test_parity_polarity():
    f = Varnel.parity(5)
    assert f.eval(0) is True
    assert not any(f.eval(1 << j) for j in range(5))


def test_majority_ties_are_false():
    f = Varnel.majority(6)
    assert not any(f.eval(i) for i in range(64) if bin(i).count("1") == 3)
    assert all(f.eval(i) for i in range(64) if bin(i).count("1") == 4)


def test_coprimes_operands_and_gcd_with_zero():
    f = Varnel.coprimes(3)
    assert f.eval(1 << 3)            # x = 1, y = 0
    assert f.eval(1)                 # x = 0, y = 1
    assert not f.eval(0)             # x = y = 0
    assert not f.eval((5 << 3) | 0)  # gcd(5, 0) = 5
    assert f.eval((4 << 3) | 3) and not f.eval((4 << 3) | 6)


def test_sum_is_prime_two():
    f = Varnel.sum_is_prime(2)
    assert f.size() == 16
    assert f.eval(5) and not f.eval(15)


@pytest.mark.parametrize("n, variables", [(4, 6), (5, 10)])
def test_clique_of_two_is_any_edge(n, variables):
    f = Varnel.clique(n)
    assert f.n_vars() == variables
    assert true_at(f) == list(range(1, 1 << variables))


def test_clique_six_is_a_triangle():
    f = Varnel.clique(6)
    assert f.n_vars() == 15
    triangles = [(1 << ref.edge(a, b, 6)) | (1 << ref.edge(a, c, 6)) | (1 << ref.edge(b, c, 6))
                 for a, b, c in combinations(range(6), 3)]
    table = f.repr()
    assert table == [any(t & i == t for t in triangles) for i in range(1 << 15)]


@pytest.mark.parametrize("name, variables", [
    ("parity", lambda n: n), ("majority", lambda n: n), ("primality", lambda n: n),
    ("coprimes", lambda n: 2 * n), ("sum_is_prime", lambda n: 2 * n),
    ("clique", lambda n: n * (n - 1) // 2),
])
@pytest.mark.parametrize("n", [0, 1, 3, 6, 7])
def test_variable_counts(name, variables, n):
    f = build(name, n)
    assert f.n_vars() == variables(n)
    assert f.size() == 2 ** variables(n)


# ---------------------------------------------------------------------------
# The literal definitions, every entry

@pytest.mark.parametrize("name, sizes", [
    ("parity", range(0, 13)),
    ("majority", range(0, 13)),
    ("primality", range(0, 15)),
    ("coprimes", range(0, 7)),
    ("sum_is_prime", range(0, 7)),
    ("clique", range(0, 6)),
])
def test_matches_definition(name, sizes):
    for n in sizes:
        assert build(name, n).repr() == getattr(ref, name)(n), (name, n)


def test_largest_sum_is_prime():
    f = Varnel.sum_is_prime(15)  # 30 variables
    assert f.n_vars() == 30
    assert f.eval((32767 << 15) | 32754)   # 65521 is prime
    assert not f.eval((1 << 30) - 1)       # 65534


# ---------------------------------------------------------------------------
# Limits

@pytest.mark.parametrize("name", ["parity", "majority", "primality"])
@pytest.mark.parametrize("n", [63, 127, 2**64 - 1])
def test_two_to_the_63_entries_is_capacity_overflow(name, n):
    panics(lambda: build(name, n), "capacity overflow")


@pytest.mark.parametrize("name, n, limit", [
    ("parity", 64, 62), ("majority", 100, 62), ("primality", 2**64 - 2, 62),
    ("coprimes", 32, 31), ("coprimes", 2**64 - 1, 31),
    ("sum_is_prime", 16, 15), ("sum_is_prime", 2**40, 15),
    ("clique", 12, 11), ("clique", 2**63, 11),
])
def test_beyond_the_supported_range_is_value_error(name, n, limit):
    with pytest.raises(ValueError, match=f"^{name}: n must be at most {limit}, got {n}$"):
        build(name, n)


@pytest.mark.parametrize("name, n", [
    ("parity", 62), ("majority", 50), ("primality", 48),
    ("coprimes", 31), ("coprimes", 24), ("clique", 10), ("clique", 11),
])
def test_table_beyond_memory_is_memory_error(name, n):
    with pytest.raises(MemoryError):
        build(name, n)


@pytest.mark.parametrize("name", FAMILIES)
def test_argument_errors(name):
    with pytest.raises(OverflowError):
        build(name, -1)
    with pytest.raises(TypeError, match="^argument 'n': "):
        build(name, 2.0)
    with pytest.raises(TypeError, match=r"missing 1 required positional argument: 'n'"):
        getattr(Varnel, name)()
    assert build(name, True).repr() == build(name, 1).repr()

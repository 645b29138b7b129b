"""Classical measures through the module: spectrum, influence, sensitivity,
certificate complexity and the frontier, against plain reference code (bit for
bit), known values, relations, and the edge cases of each method."""
import math
import os
import random
import subprocess
import sys

import pytest

from varnel import Varnel

import classical_ref as ref
from helpers import AND2, parity, same

LN2 = math.log(2)


def threshold(n, k):
    return [bin(x).count("1") >= k for x in range(1 << n)]


def inner_product(n):
    return [sum((x >> j) & (x >> (j + 1)) & 1 for j in range(0, n - 1, 2)) % 2 == 1
            for x in range(1 << n)]


MAJ3 = [False, False, False, True, False, True, True, True]
ID1 = [False, True]


def tables(seed, sizes, per_size=2):
    rng = random.Random(seed)
    for n in sizes:
        for _ in range(per_size):
            yield [rng.random() < 0.5 for _ in range(1 << n)]
        p = rng.choice([0.05, 0.2, 0.8, 0.95])
        yield [rng.random() < p for _ in range(1 << n)]


# --- against the reference ----------------------------------------------------

@pytest.mark.parametrize("n", range(13))
def test_spectral_and_influence_match_reference(n):
    for t in tables(100 + n, [n], per_size=1 if n > 10 else 2):
        v = Varnel(t)
        assert same(v.spectral_entropy(), ref.spectral_entropy(t))
        assert v.no_linearity() == ref.no_linearity(t)
        assert v.degree() == ref.degree(t)
        assert same(v.total_influence(), ref.total_influence(t))
        for var in sorted({0, n // 2, n - 1, n, n + 1} - {-1}):
            assert same(v.influence(var), ref.influence(t, var)), var


@pytest.mark.parametrize("n", range(13))
def test_sensitivity_and_frontier_match_reference(n):
    for t in tables(200 + n, [n], per_size=1 if n > 10 else 2):
        v = Varnel(t)
        assert v.max_sensitivity() == ref.max_sensitivity(t)
        assert same(v.mean_sensitivity(), ref.mean_sensitivity(t))
        assert v.frontier_size() == len(ref.frontier_edges(t))
        assert v.max_frontier_size() == ref.max_frontier_size(t)


@pytest.mark.parametrize("n", range(13))
def test_certificate_complexity_matches_reference(n):
    for t in tables(300 + n, [n], per_size=1 if n > 9 else 2):
        assert Varnel(t).certificate_complexity() == ref.certificate_complexity(t)


# --- known values ---------------------------------------------------------------

@pytest.mark.parametrize("n", [2, 4, 6, 8, 10, 12])
def test_bent_functions(n):
    v = Varnel(inner_product(n))
    assert v.no_linearity() == 2 ** (n - 1) - 2 ** (n // 2 - 1)
    assert v.spectral_entropy() == pytest.approx(n * LN2, rel=1e-4)
    assert v.degree() == n


@pytest.mark.parametrize("n", [1, 2, 5, 9, 12])
def test_parity(n):
    v = Varnel(parity(n))
    assert (v.degree(), v.no_linearity()) == (n, 0)
    assert same(v.spectral_entropy(), -0.0)
    assert all(v.influence(j) == 1.0 for j in range(n))
    assert v.total_influence() == n
    assert (v.max_sensitivity(), v.mean_sensitivity()) == (n, n)
    assert v.frontier_size() == v.max_frontier_size() == n * 2 ** (n - 1)
    assert v.certificate_complexity() == n


@pytest.mark.parametrize("n", [3, 5, 7, 9, 11])
def test_majority(n):
    v = Varnel(threshold(n, (n + 1) // 2))
    assert v.certificate_complexity() == (n + 1) // 2
    assert v.max_sensitivity() == (n + 1) // 2
    assert v.degree() == n


# --- relations --------------------------------------------------------------------

@pytest.mark.parametrize("n", range(1, 15))
def test_relations(n):
    for t in tables(400 + n, [n], per_size=1):
        v = Varnel(t)
        mean = v.mean_sensitivity()
        assert mean == pytest.approx(v.total_influence(), rel=1e-4, abs=1e-6)
        assert mean * 2**n == 2 * v.frontier_size()
        assert v.max_sensitivity() <= v.certificate_complexity() <= n
        assert v.frontier_size() <= v.max_frontier_size()


# --- edge cases ---------------------------------------------------------------------

def test_spectral_edge_cases():
    for table in ([False] * 8, [True] * 8):
        v = Varnel(table)
        assert same(v.spectral_entropy(), -0.0)
        assert (v.no_linearity(), v.degree()) == (0, 0)
    v = Varnel(AND2)
    assert v.spectral_entropy() == 1.3862943649291992
    assert (v.no_linearity(), v.degree()) == (1, 2)
    v = Varnel(MAJ3)
    assert v.spectral_entropy() == 1.3862943649291992
    assert (v.no_linearity(), v.degree()) == (2, 3)
    v = Varnel(ID1)
    assert same(v.spectral_entropy(), -0.0)
    assert (v.no_linearity(), v.degree()) == (0, 1)
    v = Varnel([True])
    assert same(v.spectral_entropy(), -0.0)
    assert (v.no_linearity(), v.degree()) == (0, 0)


def test_influence_and_sensitivity_edge_cases():
    v = Varnel(ID1)
    assert v.influence(0) == 1.0 and same(v.influence(1), -0.0)
    assert v.total_influence() == 1.0
    assert (v.max_sensitivity(), v.mean_sensitivity()) == (1, 1.0)
    v = Varnel(MAJ3)
    assert [v.influence(j) for j in range(3)] == [0.5, 0.5, 0.5]
    assert v.total_influence() == 1.5
    assert (v.max_sensitivity(), v.mean_sensitivity()) == (2, 1.5)
    for table in ([False] * 16, [True] * 16):
        v = Varnel(table)
        assert all(same(v.influence(j), 0.0) for j in range(4))
        assert all(same(v.influence(j), -0.0) for j in (4, 5, 64, 1000, 2**64 - 1))
        assert same(v.total_influence(), 0.0)
        assert (v.max_sensitivity(), v.mean_sensitivity()) == (0, 0.0)
    v = Varnel([False])
    assert all(same(v.influence(j), -0.0) for j in (0, 1, 64))
    assert same(v.total_influence(), -0.0)
    assert (v.max_sensitivity(), v.mean_sensitivity()) == (0, 0.0)
    assert same(Varnel(parity(5)).influence(64), -0.0)


def test_influence_argument():
    v = Varnel(MAJ3)
    assert v.influence(var=1) == 0.5
    assert v.influence(True) == 0.5
    with pytest.raises(OverflowError) as info:
        v.influence(-1)
    assert not str(info.value).startswith("argument")
    with pytest.raises(OverflowError):
        v.influence(2**64)
    with pytest.raises(TypeError, match=r"^argument 'var': "):
        v.influence(1.5)
    with pytest.raises(TypeError) as info:
        v.influence()
    assert str(info.value) == "Varnel.influence() missing 1 required positional argument: 'var'"
    with pytest.raises(TypeError, match="takes no arguments"):
        v.total_influence(1)


@pytest.mark.parametrize("table, expected", [
    ([True], 0), ([False] * 32, 0), ([False, True, False, True], 1), (AND2, 2), (MAJ3, 2),
    (parity(3), 3), ([False] + [True] * 7, 3),
])
def test_certificate_complexity_edge_cases(table, expected):
    assert Varnel(table).certificate_complexity() == expected


@pytest.mark.parametrize("table, size, maximum", [
    ([True] * 8, 0, 0), ([False], 0, 0), (ID1, 1, 1), (AND2, 2, 2), (MAJ3, 6, 12),
])
def test_frontier_edge_cases(table, size, maximum):
    v = Varnel(table)
    assert (v.frontier_size(), v.max_frontier_size()) == (size, maximum)
    assert v.frontier_size() == size  # from the cache


def test_frontier_size_is_stable_across_calls():
    rng = random.Random(5)
    v = Varnel([rng.random() < 0.5 for _ in range(1 << 14)])
    first = v.frontier_size()
    assert [v.frontier_size() for _ in range(3)] == [first] * 3
    assert first == len(ref.frontier_edges(v.repr()))


def test_certificate_complexity_does_not_depend_on_thread_count():
    code = (
        "import random\nfrom varnel import Varnel\n"
        "rng = random.Random(9)\n"
        "out = []\n"
        "for n in (4, 7, 10, 13):\n"
        "    for p in (0.1, 0.5, 0.9):\n"
        "        out.append(Varnel([rng.random() < p for _ in range(1 << n)])"
        ".certificate_complexity())\n"
        "print(out)\n"
    )
    results = set()
    for threads in ("1", "2", "3"):
        env = dict(os.environ, RAYON_NUM_THREADS=threads)
        run = subprocess.run([sys.executable, "-c", code], env=env, capture_output=True,
                             text=True, check=True)
        results.add(run.stdout)
    assert len(results) == 1


SPEC_ORDER = [
    "from_number", "eval", "repr", "size", "majority", "parity", "coprimes", "primality",
    "sum_is_prime", "clique", "n_vars", "entanglement", "entropy", "fragmentation_coefficient",
    "fragmentation_k", "fragmentation_spectrum", "restriction_signature",
    "fragmentation_profile", "fragmentation_peak", "fragmentation_delta",
    "fragmentation_delta2", "equanimity_importance", "entanglement_sets", "entropy_sets",
    "information", "encode", "decode", "minimal_gates", "frontier_size", "max_frontier_size",
    "table", "npn_representant", "max_sensitivity", "mean_sensitivity", "spectral_entropy",
    "degree", "no_linearity", "influence", "total_influence", "certificate_complexity",
]


def test_methods_are_declared_in_table_order():
    declared = [name for name in Varnel.__dict__ if name in SPEC_ORDER]
    assert declared == sorted(declared, key=SPEC_ORDER.index)


@pytest.mark.parametrize("name, signature", [
    ("frontier_size", "($self)"), ("max_frontier_size", "($self)"),
    ("max_sensitivity", "($self)"), ("mean_sensitivity", "($self)"),
    ("spectral_entropy", "($self)"), ("degree", "($self)"), ("no_linearity", "($self)"),
    ("influence", "($self, var)"), ("total_influence", "($self)"),
    ("certificate_complexity", "($self)"),
])
def test_text_signatures(name, signature):
    method = Varnel.__dict__[name]
    assert method.__text_signature__ == signature
    assert not method.__doc__

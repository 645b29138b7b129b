"""The restriction table (`table`) and restriction counting (`information`,
`fragmentation_coefficient`), against the literal definitions."""
import os
import random
import subprocess
import sys

import numpy as np
import pytest

from varnel import Varnel

import restriction_plain as plain
from helpers import AND2, MAJ3, panics, random_table, same

INCOMPATIBLE = ("called `Result::unwrap()` on an `Err` value: "
                "ShapeError/IncompatibleShape: incompatible shapes")
OVERFLOW = ("called `Result::unwrap()` on an `Err` value: "
            "ShapeError/Overflow: arithmetic overflow")


# --- table ---------------------------------------------------------------

@pytest.mark.parametrize("vars, expected", [
    ([0], [[False, False], [True, False]]),
    ([1], [[False, True], [False, False]]),
    ([], [[False, True, False, False]]),
    ([0, 1], [[False], [True], [False], [False]]),
    ([1, 0], [[False], [True], [False], [False]]),
])
def test_table_examples(vars, expected):
    a = Varnel.from_number(2, 2).table(vars)
    assert isinstance(a, np.ndarray) and a.dtype == np.bool_
    assert a.flags["C_CONTIGUOUS"] and a.flags["OWNDATA"]
    assert a.tolist() == expected


def test_table_zero_variables():
    a = Varnel([True]).table([])
    assert a.shape == (1, 1) and a.tolist() == [[True]]


def test_table_three_variables():
    rng = random.Random(1)
    t = random_table(rng, 3)
    a = Varnel(t).table([0, 2])
    assert a.shape == (4, 2)
    assert a[2][1] == t[6]


@pytest.mark.parametrize("n, vars, message", [
    (2, [0, 0], INCOMPATIBLE), (3, [5], INCOMPATIBLE), (3, [1, 3], INCOMPATIBLE),
    (2, [0, 1, 2], OVERFLOW), (0, [0], OVERFLOW), (2, [0] * 70, OVERFLOW),
])
def test_table_shape_failures(n, vars, message):
    panics(lambda: Varnel([False] * (1 << n)).table(vars), message)


def test_table_argument_errors():
    v = Varnel(AND2)
    with pytest.raises(TypeError, match=r"^argument 'vars': Can't extract `str` to `Vec`$"):
        v.table("01")
    with pytest.raises(OverflowError):
        v.table([-1])
    with pytest.raises(TypeError, match=r"^argument 'vars': "):
        v.table([0.5])
    assert v.table(vars=(1,)).shape == (2, 2)


def test_table_against_the_definition(rng):
    for rep in range(300):
        n = rep % 9
        t = random_table(rng, n)
        vars = [v for v in range(n) if rng.random() < 0.5]
        rng.shuffle(vars)
        a = Varnel(t).table(vars)
        rows = plain.table_rows(t, vars)
        assert a.shape == (1 << len(vars), 1 << (n - len(vars)))
        assert [tuple(r) for r in a.tolist()] == rows
        assert len({r.tobytes() for r in a}) == Varnel(t).information(vars)


def test_table_is_a_fresh_copy():
    v = Varnel(AND2)
    a = v.table([0])
    a[:] = True
    assert v.table([0]).tolist() == [[False, False], [False, True]]
    assert v.repr() == AND2


def test_table_large():
    rng = random.Random(3)
    n = 16
    number = rng.getrandbits(64)
    t = [bool(number >> (i % 64) & 1) ^ (i % 7 == 0) for i in range(1 << n)]
    vars = [3, 0, 11, 7, 15, 8]
    a = Varnel(t).table(vars)
    fixed, free = sorted(vars), [v for v in range(n) if v not in vars]
    for _ in range(200):
        r, c = rng.randrange(a.shape[0]), rng.randrange(a.shape[1])
        assert a[r, c] == t[plain.deposit(r, fixed) | plain.deposit(c, free)]


def test_missing_numpy_is_an_internal_failure():
    code = ("import sys; sys.modules['numpy'] = None\n"
            "from varnel import Varnel\n"
            "try:\n    Varnel([True, False]).table([0])\n"
            "except BaseException as e:\n    print(type(e).__name__, e.args[0])\n")
    out = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True,
                         env=dict(os.environ), check=True)
    assert out.stdout.startswith("PanicException Failed to access NumPy array API capsule")


# --- information and fragmentation_coefficient ---------------------------

@pytest.mark.parametrize("table, vars, count, entropy", [
    (AND2, [], 1, -0.0),
    (AND2, [0, 1], 2, 0.8112781047821045),
    (AND2, [0], 2, 1.0),
    (MAJ3, [0, 1], 3, 1.5),
    (MAJ3, [1, 0], 3, 1.5),
    (AND2, [1, 1], 2, 0.8112781047821045),   # repeats count in k
    (AND2, [5], 2, 1.0),                      # past the table: the all-false form
    ([False] * 4, [5], 1, -0.0),
    ([True] * 8, [0, 0, 2], 1, -0.0),
    ([True], [], 1, -0.0),
])
def test_counting_examples(table, vars, count, entropy):
    v = Varnel(table)
    assert v.information(vars) == count
    assert same(v.fragmentation_coefficient(vars), entropy)
    assert v.information(vars=vars) == count


@pytest.mark.parametrize("n", [1, 2, 5, 9])
def test_parity_has_two_equal_forms(n):
    v = Varnel.parity(n) if hasattr(Varnel, "parity") else Varnel(
        [bin(x).count("1") % 2 == 0 for x in range(1 << n)])
    rng = random.Random(n)
    for _ in range(10):
        vars = rng.sample(range(n), rng.randrange(1, n + 1))
        assert v.information(vars) == 2
        assert v.fragmentation_coefficient(vars) == 1.0


def test_counting_against_the_definition(rng):
    for rep in range(600):
        n = rep % 8
        t = random_table(rng, n)
        if rep % 3 == 0:  # structure: a function of fewer variables
            keep = rng.randrange(n + 1)
            t = [t[x & ((1 << keep) - 1)] for x in range(1 << n)]
        k = rng.randrange(n + 3)
        vars = [rng.choice([rng.randrange(n + 2), 64 + rng.randrange(n + 1), rng.randrange(max(n, 1))])
                for _ in range(k)]
        v = Varnel(t)
        assert v.information(vars) == plain.information(t, vars), (t, vars)
        assert same(v.fragmentation_coefficient(vars), plain.set_entropy(t, vars)), (t, vars)


def test_entropy_is_a_single_precision_value(rng):
    v = Varnel(random_table(rng, 10))
    h = v.fragmentation_coefficient([1, 4, 7])
    assert float(np.float32(h)) == h


def test_counting_limits():
    v = Varnel(AND2)
    assert v.information([0] * 63) == 2
    with pytest.raises(ValueError, match="63"):
        v.information([0] * 64)
    with pytest.raises(ValueError, match="63"):
        v.fragmentation_coefficient(list(range(100)))
    with pytest.raises(OverflowError):
        v.information([2**64])
    with pytest.raises(TypeError, match=r"^argument 'vars': 'set' object cannot be converted"):
        v.information({0})

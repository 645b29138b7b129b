"""The fragmentation family: fragmentation_k, the profile under its three
names, the peak and the two differences, against the literal definitions."""
import os
import random
import subprocess
import sys

import pytest

from varnel import Varnel

import fragmentation_plain as plain
from helpers import AND2, MAJ3, majority, parity, random_table, same, same_list

PROFILE_NAMES = ["fragmentation_profile", "fragmentation_spectrum", "restriction_signature"]


def family(v):
    return {
        "profile": v.fragmentation_profile(),
        "peak": v.fragmentation_peak(),
        "delta": v.fragmentation_delta(),
        "delta2": v.fragmentation_delta2(),
    }


# --- the examples -----------------------------------------------------------

CASES = {
    "zero variables, false": ([False], [-0.0], (0, -0.0), [], []),
    "zero variables, true": ([True], [-0.0], (0, -0.0), [], []),
    "constant of two variables": ([True] * 4, [-0.0, -0.0, -0.0], (0, -0.0), [0.0, 0.0], [0.0]),
    "f(x) = x": ([False, True], [-0.0, 1.0], (1, 1.0), [1.0], []),
    "parity of three": (parity(3), [-0.0, 1.0, 1.0, 1.0], (1, 1.0), [1.0, 0.0, 0.0], [-1.0, 0.0]),
    "complement of parity of three": (parity(3, odd=False), [-0.0, 1.0, 1.0, 1.0], (1, 1.0),
                                      [1.0, 0.0, 0.0], [-1.0, 0.0]),
    "majority of three": (MAJ3, [-0.0, 1.0, 1.5, 1.0], (2, 1.5), [1.0, 0.5, -0.5], [-0.5, -1.0]),
    "and of two": (AND2, [-0.0, 1.0, 0.8112781047821045], (1, 1.0),
                   [1.0, -0.1887218952178955], [-1.1887218952178955]),
}


@pytest.mark.parametrize("table, profile, peak, delta, delta2", CASES.values(), ids=CASES.keys())
def test_examples(table, profile, peak, delta, delta2):
    v = Varnel(table)
    for name in PROFILE_NAMES:
        assert same_list(getattr(v, name)(), profile), name
    got_peak = v.fragmentation_peak()
    assert type(got_peak) is tuple and got_peak[0] == peak[0] and same(got_peak[1], peak[1])
    assert same_list(v.fragmentation_delta(), delta)
    assert same_list(v.fragmentation_delta2(), delta2)
    for k, value in enumerate(profile):
        assert same(v.fragmentation_k(k), value)


@pytest.mark.parametrize("make, profile, peak", [
    (lambda: Varnel.parity(3), [-0.0, 1.0, 1.0, 1.0], (1, 1.0)),
    (lambda: Varnel.majority(3), [-0.0, 1.0, 1.5, 1.0], (2, 1.5)),
])
def test_families(make, profile, peak):
    v = make()
    assert same_list(v.fragmentation_profile(), profile)
    assert v.fragmentation_peak() == peak


@pytest.mark.parametrize("table, k, expected", [
    ([False], 0, -0.0), ([True], 1, 0.0), (MAJ3, 5, 0.0), (MAJ3, 4, 0.0),
    (AND2, 2**64 - 1, 0.0), (MAJ3, 0, -0.0), (AND2, 2, 0.8112781047821045),
])
def test_fragmentation_k_levels(table, k, expected):
    assert same(Varnel(table).fragmentation_k(k), expected)


def test_every_level_zero_is_negative_zero_and_top_is_binary_entropy(rng):
    for n in range(0, 9):
        v = Varnel(random_table(rng, n))
        p = v.fragmentation_profile()
        assert same(p[0], -0.0)
        assert same(p[n], v.fragmentation_coefficient(list(range(n))))


# --- against the definitions ------------------------------------------------

@pytest.mark.parametrize("n", range(0, 11))
def test_matches_definition(n):
    rng = random.Random(1000 + n)
    tables = [random_table(rng, n) for _ in range(3 if n <= 8 else 1)]
    # Forms that repeat: a biased function and one of fewer variables.
    tables.append([rng.random() < 0.15 for _ in range(1 << n)])
    tables.append([bool((x >> (n // 2)) & 1) ^ bool(x & 1) if n else True for x in range(1 << n)])
    for table in tables:
        v = Varnel(table)
        p = plain.profile(table)
        got = family(v)
        assert same_list(got["profile"], p)
        assert same_list(got["delta"], plain.differences(p))
        assert same_list(got["delta2"], plain.differences(plain.differences(p)))
        assert got["peak"][0] == plain.peak(p)[0] and same(got["peak"][1], plain.peak(p)[1])
        for k in range(n + 2):
            assert same(v.fragmentation_k(k), plain.fragmentation_k(table, k)), k


@pytest.mark.parametrize("n", [11, 13])
def test_relations(n):
    """Beyond ten variables: D is the differences of P, D2 those of D, the
    peak the first maximum of P, and each entry of P is fragmentation_k."""
    rng = random.Random(n)
    for v in [Varnel(random_table(rng, n)), Varnel(majority(n))]:
        p = v.fragmentation_profile()
        assert len(p) == n + 1
        assert same_list(v.fragmentation_delta(), plain.differences(p))
        assert same_list(v.fragmentation_delta2(), plain.differences(plain.differences(p)))
        assert v.fragmentation_peak() == plain.peak(p)
        assert all(same(v.fragmentation_k(k), p[k]) for k in range(n + 1))


def test_parity_profile_beyond_one_summation_part():
    """Parity of 14 variables: every level sums to exactly C(14, k) ones."""
    v = Varnel(parity(14))
    assert same_list(v.fragmentation_profile(), [-0.0] + [1.0] * 14)
    assert v.fragmentation_peak() == (1, 1.0)


def test_results_do_not_depend_on_the_worker_count():
    """The pool's share of the work never changes a bit of the result."""
    code = ("import random\n"
            "from varnel import Varnel\n"
            "rng = random.Random(5)\n"
            "for n in (12, 14):\n"
            "    v = Varnel([rng.random() < 0.5 for _ in range(1 << n)])\n"
            "    print([x.hex() for x in v.fragmentation_profile()])\n"
            "    print([v.fragmentation_k(k).hex() for k in range(n + 1)])\n")
    outputs = []
    for threads in ("1", "3"):
        env = dict(os.environ, RAYON_NUM_THREADS=threads)
        outputs.append(subprocess.run([sys.executable, "-c", code], capture_output=True,
                                      text=True, env=env, check=True).stdout)
    assert outputs[0] == outputs[1] and outputs[0].count("\n") == 4


# --- the three names and the binding ----------------------------------------

def test_three_names_are_one_method():
    v = Varnel(MAJ3)
    results = [getattr(v, name)() for name in PROFILE_NAMES]
    assert results[0] == results[1] == results[2]
    assert all(type(r) is list and all(type(x) is float for x in r) for r in results)
    # Fresh lists on every call.
    assert results[0] is not results[1]


@pytest.mark.parametrize("name, signature", [
    ("fragmentation_k", "($self, k)"),
    ("fragmentation_profile", "($self)"),
    ("fragmentation_spectrum", "($self)"),
    ("restriction_signature", "($self)"),
    ("fragmentation_peak", "($self)"),
    ("fragmentation_delta", "($self)"),
    ("fragmentation_delta2", "($self)"),
])
def test_text_signatures(name, signature):
    method = getattr(Varnel, name)
    assert method.__text_signature__ == signature
    assert not method.__doc__


def test_method_order():
    names = [n for n in vars(Varnel) if not n.startswith("_")]
    expected = ["fragmentation_coefficient", "fragmentation_k", "fragmentation_spectrum",
                "restriction_signature", "fragmentation_profile", "fragmentation_peak",
                "fragmentation_delta", "fragmentation_delta2"]
    start = names.index("fragmentation_coefficient")
    assert names[start:start + len(expected)] == expected


def test_k_argument():
    v = Varnel(AND2)
    assert same(v.fragmentation_k(k=1), 1.0)
    assert same(v.fragmentation_k(True), 1.0)
    with pytest.raises(TypeError, match=r"^Varnel.fragmentation_k\(\) missing 1 required "
                                        r"positional argument: 'k'$"):
        v.fragmentation_k()
    with pytest.raises(TypeError, match=r"^Varnel.fragmentation_k\(\) got an unexpected "
                                        r"keyword argument 'level'$"):
        v.fragmentation_k(level=1)
    with pytest.raises(TypeError, match=r"^argument 'k': "):
        v.fragmentation_k(1.5)
    with pytest.raises(TypeError, match=r"^argument 'k': "):
        v.fragmentation_k("1")
    for bad in (-1, 2**64):
        with pytest.raises(OverflowError) as info:
            v.fragmentation_k(bad)
        assert not str(info.value).startswith("argument")


@pytest.mark.parametrize("name", PROFILE_NAMES + ["fragmentation_peak", "fragmentation_delta",
                                                  "fragmentation_delta2"])
def test_no_argument_methods_reject_arguments(name):
    with pytest.raises(TypeError):
        getattr(Varnel(AND2), name)(1)

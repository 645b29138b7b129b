"""minimal_gates and npn_representant: optimal five-input circuits from the
chain database built into the module."""

import pytest

from varnel import Varnel
from helpers import random_table

pytestmark = pytest.mark.skipif(
    not hasattr(Varnel, "minimal_gates"),
    reason="module built without the chain database (opt5/chains.bin was absent at configure time)",
)


def from_word(w):
    """The function whose library word is w: entry i is bit 31 - i."""
    return Varnel([bool((w >> (31 - i)) & 1) for i in range(32)])


def unpacked(r):
    """The table npn_representant returns for representative r: entry i is bit i."""
    return [bool((r >> i) & 1) for i in range(32)]


def of_inputs(fn):
    return Varnel([bool(fn(*[(x >> k) & 1 for k in range(5)])) for x in range(32)])


def transformed(table, perm, flips, negate):
    """g(x) = negate XOR f(y), y_k = x_perm[k] XOR flips_k: the same NPN class."""
    out = []
    for x in range(32):
        y = sum((((x >> perm[k]) & 1) ^ ((flips >> k) & 1)) << k for k in range(5))
        out.append(bool(table[y]) != negate)
    return out


@pytest.mark.parametrize("fn, gates, rep", [
    (lambda *x: 0, 0, 0),
    (lambda *x: 1, 0, 0),
    (lambda x0, *_: x0, 0, 0x0000FFFF),
    (lambda x0, x1, *_: x0 & x1, 1, 0x000000FF),
    (lambda x0, x1, *_: x0 ^ x1, 1, 0x00FFFF00),
    (lambda *x: all(x), 4, 0x00000001),
    (lambda *x: any(x), 4, 0x00000001),
    (lambda *x: sum(x) % 2, 4, 0x69969669),
])
def test_known_functions(fn, gates, rep):
    f = of_inputs(fn)
    assert f.minimal_gates() == gates
    r = f.npn_representant()
    assert isinstance(r, Varnel) and r.n_vars() == 5
    assert r.repr() == unpacked(rep)


def test_single_variable_representative_is_not_variable_4():
    # Representative 0x0000FFFF unpacked: entries 0..15 true, the function
    # NOT x4 (the representative with every input complemented).
    assert of_inputs(lambda x0, *_: x0).npn_representant().repr() == [True] * 16 + [False] * 16


@pytest.mark.parametrize("word, gates", [
    (0x169AE443, 12),  # the only class that needs 12 gates
    # classes once thought to need 12: 11 gates
    (0x01BCDA86, 11), (0x067AB314, 11), (0x067ABC17, 11),
    (0x06B5D398, 11), (0x166EB583, 11), (0x1698AC5B, 11),
    # the last ten-gate classes the generator's walks reached
    (0x01BDEA9C, 10), (0x011FB8D2, 10),
])
def test_hard_classes(word, gates):
    f = from_word(word)
    assert f.minimal_gates() == gates
    assert f.npn_representant().minimal_gates() == gates


@pytest.mark.parametrize("n", [0, 1, 4, 6, 7])
def test_other_sizes_give_none(n):
    f = Varnel([False] * (1 << n))
    assert f.minimal_gates() is None
    assert f.npn_representant() is None


def test_representative_depends_only_on_the_class(rng):
    for _ in range(200):
        t = random_table(rng, 5)
        perm = list(range(5))
        rng.shuffle(perm)
        g = Varnel(transformed(t, perm, rng.randrange(32), rng.random() < 0.5))
        f = Varnel(t)
        assert g.npn_representant().repr() == f.npn_representant().repr()
        assert g.minimal_gates() == f.minimal_gates()
        assert 0 <= f.minimal_gates() <= 12


def test_representative_of_a_representative_is_itself(rng):
    for _ in range(200):
        r = Varnel(random_table(rng, 5)).npn_representant()
        assert r.npn_representant().repr() == r.repr()
        assert r.minimal_gates() == Varnel(r.repr()).minimal_gates()


def test_results_are_fresh_objects():
    f = of_inputs(lambda x0, x1, *_: x0 & x1)
    a, b = f.npn_representant(), f.npn_representant()
    assert a is not b and a.repr() == b.repr()
    assert f.repr() == of_inputs(lambda x0, x1, *_: x0 & x1).repr()


def test_signatures_and_arguments():
    assert Varnel.minimal_gates.__text_signature__ == "($self)"
    assert Varnel.npn_representant.__text_signature__ == "($self)"
    f = Varnel([False] * 32)
    with pytest.raises(TypeError):
        f.minimal_gates(1)
    with pytest.raises(TypeError):
        f.npn_representant(x=1)

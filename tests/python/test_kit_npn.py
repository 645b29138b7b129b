"""varnelkit's NPN layer: canonical forms and transforms one at a time and by
the array, the class catalogue, against the plain definition."""
import pathlib
import random
import sys

import numpy as np
import pytest

from varnel import Varnel

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[1] / "reference"))
import npn_ref  # noqa: E402

import varnelkit  # noqa: E402
from varnelkit import Transform, apply_transform, npn_canonize  # noqa: E402

pytestmark = pytest.mark.skipif(not varnelkit._native.has_chain_database(),
                                reason="built without the chain database")

# Words on the unusual paths of the canonicaliser: constants, single
# variables, parity, constant halves, symmetric functions, the hardest class.
SPECIAL = [0, 0xFFFFFFFF, 0xAAAAAAAA, 0x55555555, 0xFFFF0000, 0x0000FFFF, 0x96696996,
           0x69969669, 0x80000000, 0x00000001, 0xFFFFFFFE, 0x169AE443, 0xE8E8E8E8,
           0xFEE8E880, 0x00FF00FF, 0x0000FF00, 0x12345678]
CLASS_COUNTS = [2, 2, 5, 20, 93, 389, 1988, 11382, 60713, 221541, 293455, 26535, 1]


def random_words(seed, n):
    rng = random.Random(seed)
    return [rng.getrandbits(32) for _ in range(n)] + SPECIAL


def random_transform(rng):
    perm = list(range(5))
    rng.shuffle(perm)
    return Transform(tuple(perm), rng.randrange(32), rng.random() < 0.5)


def table_word(v):
    return sum(int(e) << x for x, e in enumerate(v.repr()))


@pytest.mark.parametrize("word", random_words(1, 150))
def test_canonize_matches_the_definition(word):
    rep, t = npn_canonize(word)
    assert rep == npn_ref.representative(word)
    assert apply_transform(rep, t) == word
    assert npn_ref.apply_transform(rep, *t) == word
    assert apply_transform(word, t.inverse()) == rep


@pytest.mark.parametrize("word", random_words(2, 40))
def test_representative_is_varnels_npn_representant(word):
    rep, _ = npn_canonize(word)
    assert rep == table_word(Varnel.from_number(word, 5).npn_representant())


def test_transforms_compose_and_invert():
    rng = random.Random(3)
    for _ in range(200):
        h = rng.getrandbits(32)
        s, t = random_transform(rng), random_transform(rng)
        assert apply_transform(h, s) == npn_ref.apply_transform(h, *s)
        assert apply_transform(apply_transform(h, s), t) == apply_transform(h, s.then(t))
        assert apply_transform(apply_transform(h, s), s.inverse()) == h
        assert s.then(s.inverse()) == Transform.identity()


def test_a_class_has_one_representative():
    rng = random.Random(4)
    for _ in range(100):
        f = rng.getrandbits(32)
        g = apply_transform(f, random_transform(rng))
        assert npn_canonize(f)[0] == npn_canonize(g)[0]


@pytest.mark.parametrize("f", [0x12345678, Varnel.from_number(0x12345678, 5),
                               [bool((0x12345678 >> x) & 1) for x in range(32)]])
def test_accepts_varnel_words_and_truth_values(f):
    assert npn_canonize(f) == npn_canonize(0x12345678)


@pytest.mark.parametrize("bad, error", [(1 << 32, ValueError), (-1, ValueError), ("0x1", TypeError),
                                        ([True] * 16, ValueError), (Varnel.from_number(0, 4), ValueError),
                                        (1.5, TypeError), (True, TypeError)])
def test_rejects_other_arguments(bad, error):
    with pytest.raises(error):
        npn_canonize(bad)


@pytest.mark.parametrize("perm, mask, c", [((0, 1, 2, 3), 0, 0), ((0, 0, 1, 2, 3), 0, 0),
                                           ((0, 1, 2, 3, 4), 32, 0), ((0, 1, 2, 3, 4), 0, 2)])
def test_apply_transform_rejects_malformed_transforms(perm, mask, c):
    with pytest.raises(ValueError):
        apply_transform(1, (perm, mask, c))


def test_batch_agrees_with_one_at_a_time():
    rng = np.random.default_rng(5)
    words = np.concatenate([rng.integers(0, 1 << 32, size=20000, dtype=np.uint32),
                            np.array(SPECIAL, dtype=np.uint32)])
    reps, ts = varnelkit.npn_canonize_many(words)
    assert reps.dtype == np.uint32 and reps.shape == words.shape
    assert np.array_equal(reps, varnelkit.npn_representatives(words))
    gates = varnelkit.minimal_gates_many(words)
    classes = varnelkit.npn_class_indices(words)
    catalogue = varnelkit.npn5_classes()
    assert np.array_equal(catalogue["representative"][classes], reps)
    assert np.array_equal(catalogue["gates"][classes], gates)
    for i in list(range(0, words.size, 97)) + list(range(words.size - len(SPECIAL), words.size)):
        w = int(words[i])
        rep, t = npn_canonize(w)
        assert int(reps[i]) == rep
        assert (tuple(ts[i]["permutation"]), int(ts[i]["input_complement"]),
                bool(ts[i]["output_complement"])) == t
        assert int(gates[i]) == Varnel.from_number(w, 5).minimal_gates()


@pytest.mark.parametrize("shape", [(0,), (3, 4), (1,)])
def test_batch_keeps_the_shape(shape):
    words = np.arange(int(np.prod(shape)), dtype=np.int64).reshape(shape) * 0x01010101
    assert varnelkit.minimal_gates_many(words).shape == shape
    reps, ts = varnelkit.npn_canonize_many(words)
    assert reps.shape == shape and ts.shape == shape


@pytest.mark.parametrize("bad, error", [(np.array([1.0]), TypeError), (np.array([-1]), ValueError),
                                        (np.array([1 << 32]), ValueError)])
def test_batch_rejects_other_arrays(bad, error):
    with pytest.raises(error):
        varnelkit.npn_representatives(bad)


def test_batch_takes_lists():
    assert varnelkit.minimal_gates_many([]).shape == (0,)
    assert varnelkit.npn_class_indices([0, 0xFFFFFFFF]).tolist() == [0, 0]
    assert varnelkit.npn_representatives([0x55555555]).tolist() == [0x0000FFFF]


def test_batch_reads_strided_input():
    words = np.arange(100, dtype=np.uint32) * 0x01234567
    assert np.array_equal(varnelkit.npn_representatives(words[::3]),
                          varnelkit.npn_representatives(words)[::3])


def test_catalogue_counts():
    catalogue = varnelkit.npn5_classes()
    assert catalogue.dtype.names == ("representative", "gates", "orbit_size")
    assert catalogue.size == 616126
    assert np.all(np.diff(catalogue["representative"].astype(np.int64)) > 0)
    assert np.bincount(catalogue["gates"], minlength=13).tolist() == CLASS_COUNTS
    assert int(catalogue["orbit_size"].sum(dtype=np.uint64)) == 1 << 32
    # Functions per gate count: each class contributes its orbit.
    per_gates = np.bincount(catalogue["gates"], weights=catalogue["orbit_size"], minlength=13)
    assert per_gates.sum() == 2 ** 32
    # The numbers of normal functions at costs 0..6 seen by the generator's census.
    assert (per_gates[:7] // 2).astype(int).tolist() == [6, 50, 570, 5785, 54913, 497620, 4215400]
    assert per_gates.astype(int).tolist() == [
        12, 100, 1140, 11570, 109826, 995240, 8430800, 63401728, 383877392, 1519125536,
        2123645248, 195366784, 1920]
    assert varnelkit.npn5_classes() is catalogue
    with pytest.raises(ValueError):
        catalogue["gates"][0] = 3


def test_catalogue_orbit_sizes_match_the_definition():
    catalogue = varnelkit.npn5_classes()
    rng = random.Random(6)
    picks = rng.sample(range(catalogue.size), 120) + [0, 1, catalogue.size - 1]
    picks += list(np.flatnonzero(catalogue["gates"] == 12))
    for i in picks:
        rep = int(catalogue["representative"][i])
        assert int(catalogue["orbit_size"][i]) == npn_ref.orbit_size(rep)
        assert npn_ref.representative(rep) == rep

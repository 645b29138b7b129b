"""varnelkit.BooleanFunction: constructors, value semantics, conversions, the
methods of Varnel with ordinary errors, and the shortest-float32 printing."""
import copy
import pickle
import random

import numpy as np
import pytest

from varnel import Varnel
from varnelkit import BooleanFunction, format_f32

MAJ3 = [False, False, False, True, False, True, True, True]


def random_bits(rng, n):
    return [rng.random() < 0.5 for _ in range(1 << n)]


# --- constructors --------------------------------------------------------------


@pytest.mark.parametrize("table", [
    MAJ3,
    [0, 0, 0, 1, 0, 1, 1, 1],
    np.array(MAJ3),
    np.array(MAJ3, dtype=np.uint8),
    np.array(MAJ3, dtype=np.int64),
    np.array(MAJ3, dtype=np.uint16)[::1],
    tuple(MAJ3),
    Varnel(MAJ3),
])
def test_every_table_form_gives_majority_of_three(table):
    f = BooleanFunction(table)
    assert f.n == 3 and f.repr() == MAJ3
    assert f == BooleanFunction.majority(3)


@pytest.mark.parametrize("make", [
    lambda: BooleanFunction.from_hex("e8"),
    lambda: BooleanFunction.from_hex("0xE8"),
    lambda: BooleanFunction.from_hex("e8", 3),
    lambda: BooleanFunction.from_bits("11101000"),
    lambda: BooleanFunction.from_bits("1110_1000"),
    lambda: BooleanFunction.from_int(0xE8, 3),
    lambda: BooleanFunction.from_number(0xE8, 3),
    lambda: BooleanFunction.from_packed(bytes([0xE8]), 3),
    lambda: BooleanFunction.from_packed(np.packbits(np.array(MAJ3), bitorder="little"), 3),
    lambda: BooleanFunction.from_packed(np.array([0xE8], dtype=np.uint64), 3),
    lambda: BooleanFunction.from_callable(lambda a, b, c: a + b + c >= 2, 3),
    lambda: BooleanFunction.decode(Varnel(MAJ3).encode()),
])
def test_named_constructors_agree_with_varnel(make):
    f = make()
    assert f.repr() == MAJ3
    assert f.repr() == Varnel.from_number(0xE8, 3).repr()


def test_large_int_and_hex_round_trip():
    rng = random.Random(5)
    for n in (0, 1, 2, 6, 7, 11):
        bits = random_bits(rng, n)
        f = BooleanFunction(bits)
        value = sum(1 << i for i, b in enumerate(bits) if b)
        assert f.to_int() == value
        assert BooleanFunction.from_int(value, n) == f
        assert BooleanFunction.from_hex(f.to_hex(), n) == f
        assert BooleanFunction.from_bits(f.to_bits()) == f
        assert BooleanFunction.from_packed(f.to_packed(), n) == f
        assert np.array_equal(np.unpackbits(np.frombuffer(f.to_packed(), np.uint8),
                                            bitorder="little", count=1 << n), np.array(bits))
        assert len(f.to_bits()) == 1 << n


def test_hex_is_most_significant_first_like_from_number():
    f = BooleanFunction.from_hex("169ae443")
    assert f.n == 5
    assert f.repr() == Varnel.from_number(0x169AE443, 5).repr()
    assert repr(f) == "BooleanFunction(n=5, hex='169ae443')"
    assert f.to_hex() == "169ae443"


@pytest.mark.parametrize("name, n, vars", [
    ("majority", 9, 9), ("parity", 4, 4), ("primality", 5, 5),
    ("coprimes", 2, 4), ("sum_is_prime", 2, 4), ("clique", 4, 6),
])
def test_families_match_varnel(name, n, vars):
    f = getattr(BooleanFunction, name)(n)
    assert f.n == vars
    assert f.repr() == getattr(Varnel, name)(n).repr()


@pytest.mark.parametrize("call, message", [
    (lambda: BooleanFunction([True, False, True]), "power-of-two"),
    (lambda: BooleanFunction([]), "power-of-two"),
    (lambda: BooleanFunction([0, 2, 1, 1]), "0 or 1"),
    (lambda: BooleanFunction([-1, 0]), "0 or 1"),
    (lambda: BooleanFunction(np.zeros((2, 2), dtype=bool)), "one-dimensional"),
    (lambda: BooleanFunction.from_hex("e8e"), "power-of-two"),
    (lambda: BooleanFunction.from_hex("xyz"), "not a hex"),
    (lambda: BooleanFunction.from_hex("1ff", 3), "not a table of 3"),
    (lambda: BooleanFunction.from_bits("012"), "not a bit-string"),
    (lambda: BooleanFunction.from_int(-1, 2), "not a table"),
    (lambda: BooleanFunction.from_int(16, 2), "not a table"),
    (lambda: BooleanFunction.from_packed(b"", 4), "needs 2 bytes"),
    (lambda: BooleanFunction.from_number(1, 31), "0 to 30"),
    (lambda: BooleanFunction.majority(63), "0 to 32"),
    (lambda: BooleanFunction.clique(9), "0 to 8"),
    (lambda: BooleanFunction.decode(b"\x06" + bytes(6)), "power-of-two"),
    (lambda: BooleanFunction.decode(b"\x06" + bytes(7)), "power-of-two"),
    (lambda: BooleanFunction.decode(b""), "Unable to decode"),
])
def test_construction_mistakes_are_value_errors(call, message):
    with pytest.raises(ValueError, match=message):
        call()


@pytest.mark.parametrize("table", ["0110", b"\x01\x00", np.array([0.0, 1.0])])
def test_text_bytes_and_floats_are_type_errors(table):
    with pytest.raises(TypeError):
        BooleanFunction(table)


# --- value semantics --------------------------------------------------------------


def test_equality_and_hashing_are_by_table():
    a = BooleanFunction(MAJ3)
    b = BooleanFunction.from_hex("e8")
    c = BooleanFunction.from_hex("e9")
    assert a == b and hash(a) == hash(b) and a != c
    assert len({a, b, c, BooleanFunction.majority(3)}) == 2
    # The same bits as a function of fewer variables are a different function.
    assert BooleanFunction.from_int(1, 2) != BooleanFunction.from_int(1, 3)
    assert (a == MAJ3) is False


def test_wrapping_shares_the_varnel():
    v = Varnel(MAJ3)
    f = BooleanFunction(v)
    assert f.varnel is v
    assert BooleanFunction(f).varnel is v


def test_sequence_protocol_and_call():
    f = BooleanFunction(MAJ3)
    assert len(f) == 8
    assert list(f) == MAJ3
    assert [f[i] for i in range(8)] == MAJ3
    assert f[-1] is True and f[-8] is False
    assert f[2:5].tolist() == MAJ3[2:5]
    assert f(1, 1, 0) is True and f(0, 0, 1) is False and f(True, False, True) is True
    with pytest.raises(IndexError):
        f[8]
    with pytest.raises(ValueError, match="takes 3 bits"):
        f(1, 0)
    with pytest.raises(ValueError, match="0 or 1"):
        f(1, 0, 2)


def test_numpy_view_is_read_only_and_shared():
    f = BooleanFunction(MAJ3)
    a = np.asarray(f)
    assert a.dtype == np.bool_ and a.tolist() == MAJ3
    assert np.asarray(f) is a  # no second copy
    assert not a.flags.writeable
    assert np.array(f, dtype=np.uint8).tolist() == [int(b) for b in MAJ3]
    copied = np.array(f, copy=True)
    copied[0] = True
    assert f[0] is False


@pytest.mark.parametrize("n", [0, 1, 3, 6, 7, 12])
def test_operators_match_elementwise_logic(n):
    rng = random.Random(n)
    x, y = random_bits(rng, n), random_bits(rng, n)
    f, g = BooleanFunction(x), BooleanFunction(y)
    assert (f & g).repr() == [a and b for a, b in zip(x, y)]
    assert (f | g).repr() == [a or b for a, b in zip(x, y)]
    assert (f ^ g).repr() == [a != b for a, b in zip(x, y)]
    assert (~f).repr() == [not a for a in x]
    assert ~~f == f


def test_operators_need_the_same_number_of_variables():
    with pytest.raises(ValueError, match="3 and 2 variables"):
        BooleanFunction(MAJ3) & BooleanFunction([0, 1, 1, 0])
    with pytest.raises(TypeError):
        BooleanFunction(MAJ3) & 1


@pytest.mark.parametrize("n", [0, 2, 5, 6, 9, 14])
def test_pickle_and_copy_are_packed(n):
    rng = random.Random(100 + n)
    f = BooleanFunction(random_bits(rng, n))
    raw = pickle.dumps(f, protocol=pickle.HIGHEST_PROTOCOL)
    assert len(raw) < max(1, (1 << n) // 8) + 120
    for g in (pickle.loads(raw), copy.copy(f), copy.deepcopy(f)):
        assert type(g) is BooleanFunction and g == f and g.repr() == f.repr()


def test_repr_of_large_functions_is_abbreviated():
    r = repr(BooleanFunction.parity(14))
    assert r.startswith("BooleanFunction(n=14, hex='9669") and "..." in r and len(r) < 1100


# --- the methods of Varnel --------------------------------------------------------


NO_ARG_METHODS = [
    "repr", "size", "n_vars", "encode", "entropy", "entropy_sets", "entanglement",
    "entanglement_sets", "equanimity_importance", "fragmentation_profile",
    "fragmentation_spectrum", "restriction_signature", "fragmentation_peak",
    "fragmentation_delta", "fragmentation_delta2", "spectral_entropy", "no_linearity",
    "degree", "total_influence", "max_sensitivity", "mean_sensitivity",
    "certificate_complexity", "frontier_size", "max_frontier_size", "minimal_gates",
]


def plain(value):
    """Records and functions as comparable values."""
    if isinstance(value, list):
        return [plain(v) for v in value]
    if hasattr(value, "set1"):
        return (value.set1, value.set2, getattr(value, "entropy", getattr(value, "entanglement", None)))
    if isinstance(value, (Varnel, BooleanFunction)):
        return value.repr()
    return value


@pytest.mark.parametrize("n", [1, 4, 5, 7])
def test_every_varnel_method_gives_the_same_result(n):
    rng = random.Random(7 * n)
    bits = random_bits(rng, n)
    v, f = Varnel(bits), BooleanFunction(bits)
    for name in NO_ARG_METHODS:
        assert plain(getattr(f, name)()) == plain(getattr(Varnel(bits), name)()), name
    vars = list(range(0, n, 2))
    assert np.array_equal(f.table(vars), v.table(vars))
    assert f.information(vars) == v.information(vars)
    assert f.fragmentation_coefficient(vars) == v.fragmentation_coefficient(vars)
    for k in range(n + 2):
        assert f.fragmentation_k(k) == v.fragmentation_k(k)
    for j in range(n):
        assert f.influence(j) == v.influence(j)
    assert all(f.eval(i) == v.eval(i) for i in range(1 << n))
    rep = BooleanFunction(Varnel.from_number(0x169AE443, 5)).npn_representant()
    assert isinstance(rep, BooleanFunction)
    assert rep.repr() == Varnel.from_number(0x169AE443, 5).npn_representant().repr()


@pytest.mark.parametrize("call", [
    lambda f: f.influence(3),
    lambda f: f.influence(100),
    lambda f: f.table([0, 3]),
    lambda f: f.information([5]),
    lambda f: f.fragmentation_coefficient([0, 1, 2, 3]),
    lambda f: f.information([-1]),
    lambda f: f.fragmentation_k(-1),
    lambda f: f.table([1, 1]),
    lambda f: f.table([0, 2, 0]),
])
def test_out_of_range_variables_are_value_errors(call):
    with pytest.raises(ValueError, match="out of range|non-negative|distinct"):
        call(BooleanFunction(MAJ3))


@pytest.mark.parametrize("name", ["entropy", "entropy_sets", "entanglement",
                                  "entanglement_sets", "equanimity_importance"])
def test_bipartition_measures_of_a_constant_without_variables(name):
    with pytest.raises(ValueError, match="at least one variable"):
        getattr(BooleanFunction([True]), name)()


def test_no_panic_escapes_for_functions_of_no_variables():
    f = BooleanFunction([True])
    for name in NO_ARG_METHODS:
        if name in ("entropy", "entropy_sets", "entanglement", "entanglement_sets",
                    "equanimity_importance"):
            continue
        getattr(f, name)()


# --- printing ----------------------------------------------------------------------


@pytest.mark.parametrize("value, text", [
    (float(np.float32(0.4)), "0.4"),
    (float(np.float32(0.1)), "0.1"),
    (1.5, "1.5"),
    (-0.0, "-0.0"),
    (0.0, "0.0"),
    (1.0, "1.0"),
    (float(np.float32(1e-10)), "1e-10"),
    (float(np.float32(3e38)), "3e+38"),
    (float(np.float32(1.3862943649291992)), "1.3862944"),
    (float("inf"), "inf"),
    (float("-inf"), "-inf"),
    (float("nan"), "nan"),
])
def test_format_f32_prints_the_shortest_single_precision_text(value, text):
    assert format_f32(value) == text


def test_format_f32_reads_back_to_the_same_single():
    rng = np.random.default_rng(3)
    for x in rng.standard_normal(2000).astype(np.float32) * np.float32(1e3):
        text = format_f32(float(x))
        assert np.float32(float(text)) == x
        assert len(text) <= len(repr(float(x)))
    f = BooleanFunction(MAJ3)
    assert format_f32(f.entropy()) == format_f32(Varnel(MAJ3).entropy())

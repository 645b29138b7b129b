"""varnelkit.optimal_circuit: minimal circuits that compute the given
function exactly, and their text forms."""
import pathlib
import random
import re
import shutil
import sys

import pytest

from varnel import Varnel

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[1] / "reference"))
import circuit_ref  # noqa: E402

import varnelkit  # noqa: E402
from varnelkit import Circuit, optimal_circuit  # noqa: E402
from helpers import class_members  # noqa: E402

pytestmark = pytest.mark.skipif(not varnelkit._native.has_chain_database(),
                                reason="built without the chain database")


def word_of(fn):
    return sum(int(bool(fn(*[(x >> j) & 1 for j in range(5)]))) << x for x in range(32))


MAJ5 = word_of(lambda *x: sum(x) >= 3)
NAMED = {
    "maj5": (MAJ5, 9),
    "hardest": (0x169AE443, 12),
    "and5": (word_of(lambda *x: all(x)), 4),
    "or5": (word_of(lambda *x: any(x)), 4),
    "xor5": (word_of(lambda *x: sum(x) % 2), 4),
    "x0 and x1": (word_of(lambda a, b, *_: a & b), 1),
}


@pytest.mark.parametrize("name", NAMED)
def test_named_functions(name):
    word, gates = NAMED[name]
    c = optimal_circuit(word)
    assert len(c) == gates and c.evaluate() == word
    assert circuit_ref.evaluate(c.gates, c.output, c.output_complement) == word


@pytest.mark.parametrize("word, output, complement", [
    (0, None, False), (0xFFFFFFFF, None, True),
    (0xAAAAAAAA, 0, False), (0x55555555, 0, True), (0xFFFF0000, 4, False), (0x0000FFFF, 4, True),
])
def test_zero_gate_circuits_carry_the_complement(word, output, complement):
    c = optimal_circuit(word)
    assert (len(c), c.output, c.output_complement) == (0, output, complement)
    assert c.evaluate() == word


def test_circuits_are_minimal_exact_and_inverter_free():
    rng = random.Random(11)
    words = [rng.getrandbits(32) for _ in range(300)] + class_members(12, 4)
    for w in words:
        c = optimal_circuit(w)
        assert circuit_ref.evaluate(c.gates, c.output, c.output_complement) == w
        assert len(c) == Varnel.from_number(w, 5).minimal_gates()
        if len(c):
            assert c.output == 4 + len(c) and not c.output_complement
            # Every gate depends on both of its inputs, and every gate is used.
            for i, (op, a, b) in enumerate(c.gates):
                assert op not in (0x0, 0xF, 0xA, 0x5, 0xC, 0x3) and a < 5 + i and b < 5 + i
            used = {a for _, a, _ in c.gates} | {b for _, _, b in c.gates} | {c.output}
            assert set(range(5, 5 + len(c))) <= used


@pytest.mark.parametrize("f", [MAJ5, Varnel.from_number(MAJ5, 5), [bool((MAJ5 >> x) & 1) for x in range(32)]])
def test_accepts_every_kind_of_function(f):
    assert optimal_circuit(f) == optimal_circuit(MAJ5)


def test_circuit_objects():
    c = optimal_circuit(MAJ5)
    assert Circuit(c.gates, c.output, c.output_complement) == c
    assert hash(Circuit(c.gates, c.output)) == hash(c)
    assert eval(repr(c), {"Circuit": Circuit}) == c
    assert list(c) == list(c.gates) and str(c) == c.to_chain()
    with pytest.raises(AttributeError):
        c.output = 3
    with pytest.raises(ValueError):
        Circuit([(8, 0, 5)], 5)  # reads itself
    with pytest.raises(ValueError):
        Circuit([(16, 0, 1)], 5)
    with pytest.raises(ValueError):
        Circuit([], 5)


def test_chain_text():
    c = Circuit([(0x8, 1, 3), (0x2, 5, 0), (0x6, 6, 4)], 7)
    assert c.to_chain() == "x5 = x1 AND x3\nx6 = x5 AND NOT x0\nx7 = x6 XOR x4\nf = x7\n"
    assert c.to_chain(inputs="abcde", output="y").splitlines()[0] == "x5 = b AND d"
    clash = c.to_chain(inputs=["x5", "x6", "x7", "a", "b"])
    assert clash.splitlines()[0] == "n5 = x6 AND a"
    assert Circuit([], 2, True).to_chain() == "f = NOT x2\n"
    assert Circuit([], None, True).to_chain() == "f = 1\n"
    with pytest.raises(ValueError):
        c.to_chain(inputs=["a", "a", "b", "c", "d"])
    with pytest.raises(ValueError):
        c.to_chain(output="x1")
    with pytest.raises(ValueError):
        c.to_chain(inputs=["a b", "c", "d", "e", "g"])


def all_ops_circuit():
    """A circuit whose gates use all sixteen operations."""
    return Circuit([(op, op % 5, 4 - op % 4) for op in range(16)] + [(0x6, 20, 19)], 21)


def test_python_expression_evaluates_to_the_table():
    for c in [all_ops_circuit(), Circuit([], None, True), Circuit([], 3, True),
              *[optimal_circuit(w) for w in class_members(13, 2)]]:
        expr = compile(c.to_python(), "<circuit>", "eval")
        word = sum(eval(expr, {f"x{j}": (x >> j) & 1 for j in range(5)}) << x for x in range(32))
        assert word == c.evaluate()


def test_aiger_structure():
    c = all_ops_circuit()
    text = c.to_aiger()
    header = text.splitlines()[0].split()
    assert header[:5] == ["aag", str(5 + c.aiger_and_count()), "5", "0", "1"]
    assert int(header[5]) == c.aiger_and_count()
    # One AND per AND- or OR-like gate, three per XOR/XNOR, none otherwise.
    expected = sum(3 if op in (6, 9) else 1 if bin(op).count("1") in (1, 3) else 0 for op, _, _ in c.gates)
    assert c.aiger_and_count() == expected
    assert optimal_circuit(word_of(lambda *x: all(x))).aiger_and_count() == 4


def test_aiger_evaluates_to_the_table():
    for c in [all_ops_circuit(), *[optimal_circuit(w) for w in class_members(14, 2)]]:
        lines = c.to_aiger().splitlines()
        _, m, i, _, o, a = lines[0].split()
        ands = [tuple(map(int, line.split())) for line in lines[2 + int(i):2 + int(i) + int(a)]]
        out = int(lines[1 + int(i)])
        word = 0
        for x in range(32):
            val = {0: 0}
            for j in range(5):
                val[2 * (j + 1)] = (x >> j) & 1

            def lit(v):
                return val[v & ~1] ^ (v & 1)
            for lhs, r0, r1 in ands:
                val[lhs] = lit(r0) & lit(r1)
            word |= lit(out) << x
        assert word == c.evaluate()


def test_blif_and_verilog_forms():
    c = optimal_circuit(MAJ5)
    blif = c.to_blif()
    assert blif.startswith(".model circuit\n.inputs x0 x1 x2 x3 x4\n.outputs f\n")
    assert blif.count(".names") == 9 and blif.endswith(".end\n")
    verilog = c.to_verilog()
    assert verilog.startswith("module circuit (x0, x1, x2, x3, x4, f);")
    assert verilog.count("assign") == 9 and re.search(r"assign f = ", verilog)
    assert Circuit([], 1, True).to_blif().splitlines()[-3:] == [".names x1 f", "0 1", ".end"]
    assert "assign f = 1'b0;" in Circuit([], None).to_verilog()


def test_dot_and_svg(monkeypatch):
    c = optimal_circuit(MAJ5)
    text = c.to_dot()
    assert text.startswith("digraph f {") and text.count("->") == 2 * 9 + 1
    if shutil.which("dot"):
        assert "<svg" in c.to_svg()
    monkeypatch.setattr(shutil, "which", lambda name: None)
    with pytest.raises(RuntimeError, match="graphviz"):
        c.to_svg()


def test_every_output_form_names_the_output():
    c = optimal_circuit(0x169AE443)
    for text in [c.to_chain(output="out"), c.to_verilog(output="out"), c.to_blif(output="out"),
                 c.to_aiger(output="out"), c.to_dot(output="out")]:
        assert re.search(r"\bout\b", text)

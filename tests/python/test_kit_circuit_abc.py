"""Berkeley ABC (Debian berkeley-abc) judges our circuits: it reads the BLIF,
the binary AIGER and the Verilog of each circuit and proves it equivalent
(cec) to a model written from the truth table, on a seeded sample across
every gate count and on named functions. Our ASCII AIGER is checked through
a plain converter to the binary form, since this ABC's ASCII reader fails on
any AND gate."""
import pathlib
import re
import shutil
import subprocess
import sys

import pytest

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[1] / "reference"))
import circuit_ref  # noqa: E402

import varnelkit  # noqa: E402
from varnelkit import Circuit, optimal_circuit  # noqa: E402
from helpers import class_members  # noqa: E402

ABC = shutil.which("berkeley-abc") or shutil.which("abc")
pytestmark = [
    pytest.mark.skipif(ABC is None, reason="Berkeley ABC is not installed (Debian berkeley-abc)"),
    pytest.mark.skipif(not varnelkit._native.has_chain_database(), reason="built without the chain database"),
]


def word_of(fn):
    return sum(int(bool(fn(*[(x >> j) & 1 for j in range(5)]))) << x for x in range(32))


NAMED = [word_of(lambda *x: sum(x) >= 3), 0x169AE443, word_of(lambda *x: all(x)),
         word_of(lambda *x: any(x)), word_of(lambda *x: sum(x) % 2), 0, 0xFFFFFFFF, 0x55555555]


def ascii_to_binary_aiger(text):
    """The binary AIGER of an ASCII one (combinational, inputs 2, 4, ...)."""
    lines = text.splitlines()
    _, m, i, latches, o, a = lines[0].split()
    i, o, a = int(i), int(o), int(a)
    assert latches == "0" and [int(v) for v in lines[1:1 + i]] == [2 * (k + 1) for k in range(i)]
    outs = lines[1 + i:1 + i + o]
    body = bytearray()
    for k, line in enumerate(lines[1 + i + o:1 + i + o + a]):
        lhs, r0, r1 = map(int, line.split())
        r0, r1 = max(r0, r1), min(r0, r1)
        assert lhs == 2 * (i + 1 + k) and lhs > r0
        for delta in (lhs - r0, r0 - r1):
            while delta >= 0x80:
                body.append((delta & 0x7F) | 0x80)
                delta >>= 7
            body.append(delta)
    symbols = "".join(line + "\n" for line in lines[1 + i + o + a:])
    return (f"aig {m} {i} 0 {o} {a}\n".encode() + "\n".join(outs).encode() + b"\n" + bytes(body)
            + symbols.encode())


def run_abc(tmp_path, jobs):
    """jobs: (name, word, circuit). Returns the verdict lines of ABC, one per cec."""
    script = []
    for name, word, c in jobs:
        (tmp_path / f"{name}_model.blif").write_text(circuit_ref.minterm_blif(word))
        (tmp_path / f"{name}.blif").write_text(c.to_blif())
        (tmp_path / f"{name}.aig").write_bytes(c.to_aiger(binary=True))
        (tmp_path / f"{name}_ascii.aig").write_bytes(ascii_to_binary_aiger(c.to_aiger()))
        (tmp_path / f"{name}.v").write_text(c.to_verilog())
        for ours in (f"{name}.blif", f"{name}.aig", f"{name}_ascii.aig", f"{name}.v"):
            script.append(f"cec {name}_model.blif {ours}")
    (tmp_path / "script.abc").write_text("\n".join(script) + "\n")
    done = subprocess.run([ABC, "-f", "script.abc"], cwd=tmp_path, capture_output=True, text=True,
                          timeout=600)
    verdicts = [line for line in done.stdout.splitlines() if re.search(r"Networks are", line)]
    return done, verdicts


def test_abc_proves_every_format_equivalent(tmp_path):
    words = NAMED + class_members(20261208, 25)
    jobs = [(f"c{k}", w, optimal_circuit(w)) for k, w in enumerate(words)]
    gate_counts = {len(c) for _, _, c in jobs}
    assert gate_counts == set(range(13))
    done, verdicts = run_abc(tmp_path, jobs)
    assert len(verdicts) == 4 * len(jobs), done.stdout[-2000:] + done.stderr[-2000:]
    bad = [v for v in verdicts if "NOT EQUIVALENT" in v or "are equivalent" not in v]
    assert not bad, bad[:5]


def test_abc_sees_a_wrong_circuit(tmp_path):
    # The harness must be able to fail: the last gate complemented.
    c = optimal_circuit(NAMED[0])
    op, a, b = c.gates[-1]
    wrong = Circuit(c.gates[:-1] + ((op ^ 0xF, a, b),), c.output)
    done, verdicts = run_abc(tmp_path, [("wrong", NAMED[0], wrong)])
    assert len(verdicts) == 4 and all("NOT EQUIVALENT" in v for v in verdicts), done.stdout[-2000:]

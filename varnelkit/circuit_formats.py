"""Text forms of a :class:`~varnelkit.circuit.Circuit`: readable chain, Python
expression, structural Verilog, BLIF, ASCII AIGER and Graphviz DOT (and SVG
through Graphviz's ``dot``).

Inputs are named ``x0`` .. ``x4`` and the output ``f`` unless the caller
names them; gate i is named ``x{5+i}`` (another free name when a caller's
name takes it).
"""

from __future__ import annotations

import keyword
import re
import shutil
import subprocess
from typing import TYPE_CHECKING, Sequence

from .circuit import OPERATION_NAMES

if TYPE_CHECKING:
    from .circuit import Circuit

__all__ = ["chain", "python_expression", "verilog", "blif", "aiger", "and_count", "dot", "svg"]

_IDENTIFIER = re.compile(r"[A-Za-z_][A-Za-z0-9_]*\Z")

# Python and Verilog forms of each operation on 0/1 values.
_PYTHON = {
    0x0: "0", 0x1: "1 ^ ({a} | {b})", 0x2: "{a} & (1 ^ {b})", 0x3: "1 ^ {b}",
    0x4: "(1 ^ {a}) & {b}", 0x5: "1 ^ {a}", 0x6: "{a} ^ {b}", 0x7: "1 ^ ({a} & {b})",
    0x8: "{a} & {b}", 0x9: "1 ^ {a} ^ {b}", 0xA: "{a}", 0xB: "{a} | (1 ^ {b})",
    0xC: "{b}", 0xD: "(1 ^ {a}) | {b}", 0xE: "{a} | {b}", 0xF: "1",
}
_VERILOG = {
    0x0: "1'b0", 0x1: "~({a} | {b})", 0x2: "{a} & ~{b}", 0x3: "~{b}",
    0x4: "~{a} & {b}", 0x5: "~{a}", 0x6: "{a} ^ {b}", 0x7: "~({a} & {b})",
    0x8: "{a} & {b}", 0x9: "~({a} ^ {b})", 0xA: "{a}", 0xB: "{a} | ~{b}",
    0xC: "{b}", 0xD: "~{a} | {b}", 0xE: "{a} | {b}", 0xF: "1'b1",
}


def _names(c: Circuit, inputs: Sequence[str] | None, output: str | None) -> list[str]:
    """Names of every node: the inputs, then the gates."""
    names = [f"x{j}" for j in range(5)] if inputs is None else [str(n) for n in inputs]
    if len(names) != 5:
        raise ValueError(f"a circuit has 5 inputs, {len(names)} names were given")
    taken = set(names) | ({output} if output is not None else set())
    for name in taken:
        if not _IDENTIFIER.match(name) or keyword.iskeyword(name):
            raise ValueError(f"{name!r} is not a plain identifier")
    if len(taken) != 5 + (output is not None):
        raise ValueError("input and output names must be distinct")
    for i in range(len(c.gates)):
        name, prefix = f"x{5 + i}", "n"
        while name in taken:
            name, prefix = f"{prefix}{5 + i}", "_" + prefix
        taken.add(name)
        names.append(name)
    return names


def _output_text(c: Circuit, names: list[str], negate: str, const: tuple[str, str]) -> str:
    if c.output is None:
        return const[c.output_complement]
    return (negate.format(names[c.output]) if c.output_complement else names[c.output])


def chain(c: Circuit, inputs: Sequence[str] | None = None, output: str = "f") -> str:
    names = _names(c, inputs, output)
    lines = [f"{names[5 + i]} = " + OPERATION_NAMES[op].format(a=names[a], b=names[b])
             for i, (op, a, b) in enumerate(c.gates)]
    lines.append(f"{output} = " + _output_text(c, names, "NOT {}", ("0", "1")))
    return "\n".join(lines) + "\n"


def python_expression(c: Circuit, inputs: Sequence[str] | None = None) -> str:
    names = _names(c, inputs, None)
    exprs = list(names[:5])
    for op, a, b in c.gates:
        operand = [e if i < 5 else f"({e})" for i, e in ((a, exprs[a]), (b, exprs[b]))]
        exprs.append(_PYTHON[op].format(a=operand[0], b=operand[1]))
    if c.output is None:
        return "1" if c.output_complement else "0"
    e = exprs[c.output]
    return f"1 ^ ({e})" if c.output_complement else e


def verilog(c: Circuit, inputs: Sequence[str] | None = None, output: str = "f",
            module: str = "circuit") -> str:
    names = _names(c, inputs, output)
    if not _IDENTIFIER.match(module):
        raise ValueError(f"{module!r} is not a plain identifier")
    last = len(c.gates) - 1
    if c.gates and c.output == 4 + len(c.gates) and not c.output_complement:
        names[4 + len(c.gates)] = output  # the last gate drives the output itself
    else:
        last = len(c.gates)
    lines = [f"module {module} ({', '.join(names[:5])}, {output});",
             f"  input {', '.join(names[:5])};",
             f"  output {output};"]
    wires = [names[5 + i] for i in range(len(c.gates)) if i != last]
    if wires:
        lines.append(f"  wire {', '.join(wires)};")
    for i, (op, a, b) in enumerate(c.gates):
        lines.append(f"  assign {names[5 + i]} = " + _VERILOG[op].format(a=names[a], b=names[b]) + ";")
    if last == len(c.gates):
        lines.append(f"  assign {output} = " + _output_text(c, names, "~{}", ("1'b0", "1'b1")) + ";")
    lines.append("endmodule")
    return "\n".join(lines) + "\n"


def blif(c: Circuit, inputs: Sequence[str] | None = None, output: str = "f",
         model: str = "circuit") -> str:
    names = _names(c, inputs, output)
    direct = bool(c.gates) and c.output == 4 + len(c.gates) and not c.output_complement
    if direct:
        names[4 + len(c.gates)] = output
    lines = [f".model {model}", ".inputs " + " ".join(names[:5]), f".outputs {output}"]
    for i, (op, a, b) in enumerate(c.gates):
        lines.append(f".names {names[a]} {names[b]} {names[5 + i]}")
        lines += [f"{e & 1}{e >> 1} 1" for e in range(4) if (op >> e) & 1]
    if not direct:
        if c.output is None:
            lines.append(f".names {output}")
            if c.output_complement:
                lines.append("1")
        else:
            lines.append(f".names {names[c.output]} {output}")
            lines.append("0 1" if c.output_complement else "1 1")
    lines.append(".end")
    return "\n".join(lines) + "\n"


def _aig(c: Circuit) -> tuple[list[tuple[int, int, int]], int]:
    """AND nodes (lhs, rhs0, rhs1) and the output literal of the circuit's
    and-inverter graph: inputs are variables 1..5, ANDs follow."""
    lits = [2 * (j + 1) for j in range(5)]
    ands: list[tuple[int, int, int]] = []

    def new_and(x: int, y: int) -> int:
        lhs = 2 * (6 + len(ands))
        ands.append((lhs, max(x, y), min(x, y)))
        return lhs

    for op, a, b in c.gates:
        la, lb = lits[a], lits[b]
        ones = bin(op).count("1")
        if op in (0x6, 0x9):  # a XOR b = NOT(NOT(a AND NOT b) AND NOT(NOT a AND b))
            t = new_and(new_and(la, lb ^ 1) ^ 1, new_and(la ^ 1, lb) ^ 1)
            lit = t ^ 1 if op == 0x6 else t
        elif ones in (1, 3):  # one AND, inputs and output complemented as needed
            e = (op if ones == 1 else op ^ 0xF).bit_length() - 1
            lit = new_and(la ^ (1 - (e & 1)), lb ^ (1 - (e >> 1))) ^ (ones == 3)
        else:  # constants and projections
            lit = {0x0: 0, 0xF: 1, 0xA: la, 0x5: la ^ 1, 0xC: lb, 0x3: lb ^ 1}[op]
        lits.append(lit)
    out = 0 if c.output is None else lits[c.output]
    return ands, out ^ c.output_complement


def and_count(c: Circuit) -> int:
    return len(_aig(c)[0])


def _varint(n: int) -> bytes:
    out = bytearray()
    while n >= 0x80:
        out.append((n & 0x7F) | 0x80)
        n >>= 7
    out.append(n)
    return bytes(out)


def aiger(c: Circuit, inputs: Sequence[str] | None = None, output: str = "f",
          binary: bool = False) -> str | bytes:
    names = _names(c, inputs, output)
    ands, out = _aig(c)
    symbols = [f"i{j} {names[j]}" for j in range(5)] + [f"o0 {output}", "c",
               f"{len(c.gates)} two-input gates, {len(ands)} AND nodes"]
    header = f"{5 + len(ands)} 5 0 1 {len(ands)}"
    if binary:
        # Inputs are implicit; each AND as the deltas lhs - rhs0, rhs0 - rhs1.
        body = b"".join(_varint(lhs - r0) + _varint(r0 - r1) for lhs, r0, r1 in ands)
        return (f"aig {header}\n{out}\n".encode() + body
                + ("\n".join(symbols) + "\n").encode())
    lines = [f"aag {header}"]
    lines += [str(2 * (j + 1)) for j in range(5)]
    lines.append(str(out))
    lines += [f"{lhs} {r0} {r1}" for lhs, r0, r1 in ands]
    return "\n".join(lines + symbols) + "\n"


def dot(c: Circuit, inputs: Sequence[str] | None = None, output: str = "f") -> str:
    names = _names(c, inputs, output)
    lines = [f"digraph {output} {{", "  rankdir=BT;",
             "  node [fontname=\"Helvetica\"];"]
    for j in range(5):
        lines.append(f"  {names[j]} [shape=box];")
    for i, (op, a, b) in enumerate(c.gates):
        label = OPERATION_NAMES[op].format(a="a", b="b")
        lines.append(f"  {names[5 + i]} [shape=ellipse, label=\"{names[5 + i]}\\n{label}\"];")
        lines.append(f"  {names[a]} -> {names[5 + i]} [label=\"a\"];")
        lines.append(f"  {names[b]} -> {names[5 + i]} [label=\"b\"];")
    lines.append(f"  {output} [shape=plaintext];")
    if c.output is None:
        lines.append(f"  const [shape=plaintext, label=\"{int(c.output_complement)}\"];")
        lines.append(f"  const -> {output};")
    else:
        style = " [style=dashed, label=\"NOT\"]" if c.output_complement else ""
        lines.append(f"  {names[c.output]} -> {output}{style};")
    lines.append("}")
    return "\n".join(lines) + "\n"


def svg(c: Circuit, inputs: Sequence[str] | None = None, output: str = "f") -> str:
    exe = shutil.which("dot")
    if exe is None:
        raise RuntimeError("to_svg needs Graphviz's dot: install the Debian package graphviz")
    done = subprocess.run([exe, "-Tsvg"], input=dot(c, inputs, output), capture_output=True,
                          text=True, check=True)
    return done.stdout

"""Optimal two-input-gate circuits of five-input functions.

``optimal_circuit(f)`` gives a circuit with the fewest two-input gates that
computes exactly f (not a representative of its class): the stored optimal
chain of f's NPN class with the inputs permuted and every input or output
complement folded into the operation of the gate that reads or produces it,
so the gate count stays minimal and no inverter is left. Only circuits of
zero gates (constants and single variables, possibly complemented) carry an
output-complement flag.

Nodes 0..4 are the inputs x0..x4 (variable j of the table word is xj), node
5 + i is gate i. A gate is ``(op, a, b)``: its operation as a 4-bit truth
table whose bit ``a + 2*b`` is its value on input values a and b (AND is 8,
OR 14, XOR 6, ``a AND NOT b`` 2), and its two input nodes, always earlier
nodes.
"""

from __future__ import annotations

from typing import Any, Iterator, Sequence

from . import _native
from ._words import as_word
from .npn import _require_database

__all__ = ["Circuit", "optimal_circuit", "OPERATION_NAMES"]

_INPUT_WORDS = (0xAAAAAAAA, 0xCCCCCCCC, 0xF0F0F0F0, 0xFF00FF00, 0xFFFF0000)
_MASK = 0xFFFFFFFF

#: Readable form of each operation, ``{a}`` and ``{b}`` standing for the inputs.
OPERATION_NAMES = {
    0x0: "0",
    0x1: "{a} NOR {b}",
    0x2: "{a} AND NOT {b}",
    0x3: "NOT {b}",
    0x4: "NOT {a} AND {b}",
    0x5: "NOT {a}",
    0x6: "{a} XOR {b}",
    0x7: "{a} NAND {b}",
    0x8: "{a} AND {b}",
    0x9: "{a} XNOR {b}",
    0xA: "{a}",
    0xB: "{a} OR NOT {b}",
    0xC: "{b}",
    0xD: "NOT {a} OR {b}",
    0xE: "{a} OR {b}",
    0xF: "1",
}


def _apply(op: int, a: int, b: int) -> int:
    na, nb = ~a & _MASK, ~b & _MASK
    return ((na & nb if op & 1 else 0) | (a & nb if op & 2 else 0)
            | (na & b if op & 4 else 0) | (a & b if op & 8 else 0))


class Circuit:
    """A circuit of two-input gates over the five inputs x0..x4.

    ``gates`` is a tuple of ``(op, a, b)``; ``output`` is the output node
    (None for a constant); ``output_complement`` says whether the output is
    complemented. ``len(circuit)`` is the number of gates.
    """

    __slots__ = ("gates", "output", "output_complement")
    n_inputs = 5

    gates: tuple[tuple[int, int, int], ...]
    output: int | None
    output_complement: bool

    def __init__(self, gates: Sequence[Sequence[int]], output: int | None,
                 output_complement: bool = False) -> None:
        checked = []
        for i, gate in enumerate(gates):
            op, a, b = (int(v) for v in gate)
            if not 0 <= op <= 15:
                raise ValueError(f"gate {i}: the operation is a 4-bit table, not {op}")
            if not (0 <= a < 5 + i and 0 <= b < 5 + i):
                raise ValueError(f"gate {i} (node {5 + i}) must read earlier nodes, not {a} and {b}")
            checked.append((op, a, b))
        if output is not None and not 0 <= output < 5 + len(checked):
            raise ValueError(f"the output node {output} does not exist")
        object.__setattr__(self, "gates", tuple(checked))
        object.__setattr__(self, "output", None if output is None else int(output))
        object.__setattr__(self, "output_complement", bool(output_complement))

    def __setattr__(self, name: str, value: Any) -> None:
        raise AttributeError("Circuit objects are immutable")

    def __len__(self) -> int:
        return len(self.gates)

    def __iter__(self) -> Iterator[tuple[int, int, int]]:
        return iter(self.gates)

    def __eq__(self, other: object) -> bool:
        if not isinstance(other, Circuit):
            return NotImplemented
        return (self.gates, self.output, self.output_complement) == (
            other.gates, other.output, other.output_complement)

    def __hash__(self) -> int:
        return hash((self.gates, self.output, self.output_complement))

    def __repr__(self) -> str:
        return (f"Circuit(gates={self.gates!r}, output={self.output!r}, "
                f"output_complement={self.output_complement!r})")

    def __str__(self) -> str:
        return self.to_chain()

    def node_words(self) -> list[int]:
        """The table word of every node: the inputs, then each gate."""
        nodes = list(_INPUT_WORDS)
        for op, a, b in self.gates:
            nodes.append(_apply(op, nodes[a], nodes[b]))
        return nodes

    def evaluate(self) -> int:
        """The table word the circuit computes (entry x at bit x)."""
        value = 0 if self.output is None else self.node_words()[self.output]
        return value ^ _MASK if self.output_complement else value

    # The text forms; see varnelkit.circuit_formats.
    def to_chain(self, inputs: Sequence[str] | None = None, output: str = "f") -> str:
        """One line per gate, ``x6 = x1 AND x3``, then ``f = ...``."""
        from .circuit_formats import chain
        return chain(self, inputs, output)

    def to_python(self, inputs: Sequence[str] | None = None) -> str:
        """A Python expression over the input names, for input values 0 and 1."""
        from .circuit_formats import python_expression
        return python_expression(self, inputs)

    def to_verilog(self, inputs: Sequence[str] | None = None, output: str = "f",
                   module: str = "circuit") -> str:
        """A structural Verilog module, one continuous assignment per gate."""
        from .circuit_formats import verilog
        return verilog(self, inputs, output, module)

    def to_blif(self, inputs: Sequence[str] | None = None, output: str = "f",
                model: str = "circuit") -> str:
        """The circuit in BLIF, one ``.names`` cover per gate."""
        from .circuit_formats import blif
        return blif(self, inputs, output, model)

    def to_aiger(self, inputs: Sequence[str] | None = None, output: str = "f",
                 binary: bool = False) -> str | bytes:
        """The circuit as an and-inverter graph in AIGER: ASCII (``aag``) text,
        or the binary form (``aig``) as bytes when ``binary`` is true."""
        from .circuit_formats import aiger
        return aiger(self, inputs, output, binary)

    def aiger_and_count(self) -> int:
        """Number of AND nodes of :meth:`to_aiger`: one per AND- or OR-like
        gate, three per XOR or XNOR gate."""
        from .circuit_formats import and_count
        return and_count(self)

    def to_dot(self, inputs: Sequence[str] | None = None, output: str = "f") -> str:
        """The circuit as a Graphviz digraph."""
        from .circuit_formats import dot
        return dot(self, inputs, output)

    def to_svg(self, inputs: Sequence[str] | None = None, output: str = "f") -> str:
        """The drawing of :meth:`to_dot` as SVG text, by Graphviz's ``dot``."""
        from .circuit_formats import svg
        return svg(self, inputs, output)


def optimal_circuit(f: Any) -> Circuit:
    """A circuit with the fewest two-input gates that computes f exactly.

    f is a ``Varnel`` of five variables, a 32-bit table word (entry x at
    bit x, as for ``Varnel.from_number(word, 5)``) or 32 truth values.
    ``len(optimal_circuit(f))`` is f's minimal gate count, 0 to 12.
    """
    word = f if type(f) is int and 0 <= f <= _MASK else as_word(f)
    _require_database()
    gates, output, complement = _native.optimal_circuit(word)
    c = object.__new__(Circuit)
    object.__setattr__(c, "gates", gates)
    object.__setattr__(c, "output", output)
    object.__setattr__(c, "output_complement", complement)
    return c

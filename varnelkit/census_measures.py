"""The measures a census can take, their columns, and the default rule.

Every measuring method of ``Varnel`` is here, plus ``weight`` (the number of
inputs where the function is true), varnelkit's own. A measure has a work
estimate in table reads at n variables; the default set at n is every
parameter-free measure defined at n whose estimate is at most
``DEFAULT_BUDGET`` (2^26 reads, a small fraction of a second per function).
Measures with a parameter are taken only when asked for by name:
``fragmentation_k:K``, ``information:V,V,...``,
``fragmentation_coefficient:V,V,...`` and ``influence:J``.

Methods that return a representation rather than a measure (``repr``,
``encode``, ``table``, ``entropy_sets``, ``entanglement_sets``) are not
measures of a census.
"""

from __future__ import annotations

import re
from dataclasses import dataclass, field
from math import comb
from typing import Any, Callable, Sequence

from varnel import Varnel

from ._packed import _prefix_size

__all__ = [
    "DEFAULT_BUDGET",
    "Measure",
    "MeasureError",
    "available",
    "default_measures",
    "parse_measures",
    "row_function",
]

DEFAULT_BUDGET = 1 << 26


class MeasureError(ValueError):
    """A measure name that does not exist or a bad parameter."""


@dataclass(frozen=True)
class Measure:
    """One measure: how to take it and what columns it fills.

    ``kinds`` gives each column's kind: ``int``, ``float``, ``list`` (a list
    of single-precision numbers) or ``word`` (a five-input table as a hex
    word). ``compute`` maps a ``Varnel`` to one value, or to a tuple of
    values when the measure fills several columns.
    """

    name: str
    columns: tuple[str, ...]
    kinds: tuple[str, ...]
    compute: Callable[[Varnel], Any]
    work: Callable[[int], float]
    defined: Callable[[int], bool] = field(default=lambda n: True)
    parametrised: bool = False

    @property
    def splits(self) -> bool:
        return len(self.columns) > 1


def _linear(n: int) -> float:
    return n * 2.0**n


def _bipartitions(n: int) -> float:
    return 2.0 * comb(n, n // 2) * 2.0**n


def _profile(n: int) -> float:
    return 4.0**n


def _positive(n: int) -> bool:
    return n >= 1


def _five(n: int) -> bool:
    return n == 5


def _weight(f: Varnel) -> int:
    raw = f.encode()
    return raw.count(1, _prefix_size(raw[0]))


_BIT_CHARS = bytes.maketrans(b"\x00\x01", b"01")


def word_of(f: Varnel) -> int:
    """The table of ``f`` as an integer: entry i is bit i."""
    raw = f.encode()
    start = _prefix_size(raw[0])
    if len(raw) == start:
        return 0
    return int(raw[:start - 1:-1].translate(_BIT_CHARS), 2)


def _representative(f: Varnel) -> int | None:
    r = f.npn_representant()
    return None if r is None else word_of(r)


def _plain(name: str, kind: str, work, defined=lambda n: True) -> Measure:
    return Measure(name, (name,), (kind,), getattr(Varnel, name), work, defined)


def _influences(f: Varnel) -> list[float]:
    return [f.influence(j) for j in range(f.n_vars())]


_REGISTRY: tuple[Measure, ...] = (
    Measure("weight", ("weight",), ("int",), _weight, lambda n: 2.0**n),
    _plain("degree", "int", _linear),
    _plain("no_linearity", "int", _linear),
    _plain("spectral_entropy", "float", _linear),
    _plain("total_influence", "float", _linear),
    Measure("influence", ("influence",), ("list",), _influences, lambda n: n * _linear(n)),
    _plain("max_sensitivity", "int", _linear),
    _plain("mean_sensitivity", "float", _linear),
    _plain("certificate_complexity", "int", _profile),
    _plain("frontier_size", "int", _linear),
    _plain("max_frontier_size", "int", _linear),
    _plain("entropy", "float", _bipartitions, _positive),
    _plain("entanglement", "int", _bipartitions, _positive),
    _plain("equanimity_importance", "float", _bipartitions, _positive),
    _plain("fragmentation_profile", "list", _profile),
    Measure("fragmentation_peak", ("fragmentation_peak_k", "fragmentation_peak"), ("int", "float"),
            Varnel.fragmentation_peak, _profile),
    _plain("fragmentation_delta", "list", _profile),
    _plain("fragmentation_delta2", "list", _profile),
    _plain("minimal_gates", "int", lambda n: 1.0, _five),
    Measure("npn_representant", ("npn_representant",), ("word",), _representative,
            lambda n: 1.0, _five),
)
_BY_NAME = {m.name: m for m in _REGISTRY}
_RANK = {m.name: i for i, m in enumerate(_REGISTRY)}
_ALIASES = {"fragmentation_spectrum": "fragmentation_profile",
            "restriction_signature": "fragmentation_profile"}
_PARAMETRISED = ("fragmentation_k", "information", "fragmentation_coefficient", "influence")


def available() -> list[str]:
    """Names of every measure, in column order, then the parametrised forms."""
    return [m.name for m in _REGISTRY] + ["fragmentation_k:K", "information:V,V,...",
                                          "fragmentation_coefficient:V,V,...", "influence:J"]


def default_measures(n: int, budget: float = DEFAULT_BUDGET) -> list[Measure]:
    """The measures taken by default on a function of ``n`` variables."""
    return [m for m in _REGISTRY if m.defined(n) and m.work(n) <= budget]


def largest_default_n(m: Measure, budget: float = DEFAULT_BUDGET, limit: int = 40) -> int | None:
    """The largest number of variables at which ``m`` is in the default set."""
    best = None
    for n in range(limit + 1):
        if m.defined(n) and m.work(n) <= budget:
            best = n
    return best


def _integers(text: str, spelling: str) -> list[int]:
    if not re.fullmatch(r"\d+(,\d+)*", text):
        raise MeasureError(f"measure {spelling!r}: expected non-negative integers separated by commas")
    return [int(t) for t in text.split(",")]


def _parametrised(name: str, arg: str, spelling: str) -> Measure:
    values = _integers(arg, spelling)
    if name in ("fragmentation_k", "influence"):
        if len(values) != 1:
            raise MeasureError(f"measure {spelling!r}: expected one integer after ':'")
        v = values[0]
        if name == "fragmentation_k":
            return Measure(spelling, (spelling,), ("float",), lambda f: f.fragmentation_k(v),
                           lambda n: comb(n, min(v, n)) * 2.0**n, lambda n: v <= n, True)
        return Measure(spelling, (spelling,), ("float",), lambda f: f.influence(v),
                       _linear, lambda n: v < n, True)
    top = max(values)
    if name == "information":
        return Measure(spelling, (spelling,), ("int",), lambda f: f.information(values),
                       lambda n: 2.0**n, lambda n: top < n, True)
    return Measure(spelling, (spelling,), ("float",), lambda f: f.fragmentation_coefficient(values),
                   lambda n: 2.0**n, lambda n: top < n, True)


def parse_measure(spelling: str) -> Measure:
    name, _, arg = spelling.strip().partition(":")
    name = _ALIASES.get(name, name)
    if arg:
        if name not in _PARAMETRISED:
            raise MeasureError(f"measure {name!r} takes no parameter" if name in _BY_NAME
                               else f"unknown measure {spelling!r} (see 'varnel measures')")
        return _parametrised(name, arg, f"{name}:{arg}")
    if name in _BY_NAME:
        return _BY_NAME[name]
    if name in _PARAMETRISED:
        raise MeasureError(f"measure {name!r} needs a parameter, as in {name}:"
                           f"{'2' if name in ('fragmentation_k', 'influence') else '0,1'}")
    raise MeasureError(f"unknown measure {spelling!r} (see 'varnel measures')")


def column_order(m: Measure) -> tuple[int, str]:
    """Built-in measures in registry order, then the parametrised ones by name."""
    return (_RANK.get(m.name, len(_RANK)), m.name)


def parse_measures(text: str | Sequence[str] | None) -> list[Measure] | None:
    """The measures named in ``text`` (names separated by commas or spaces, or
    a sequence of names), in column order; None means the default set."""
    if text is None:
        return None
    if isinstance(text, str):
        items = _split_names(text)
    else:
        items = [s for t in text for s in _split_names(t)]
    if not items:
        raise MeasureError("no measure named")
    chosen = {}
    for item in items:
        m = parse_measure(item)
        chosen[m.name] = m
    return sorted(chosen.values(), key=column_order)


def _split_names(text: str) -> list[str]:
    # Commas separate names, except inside a parameter list (information:0,1):
    # a piece that is all digits continues the previous parameter.
    pieces: list[str] = []
    for token in re.split(r"[\s;]+", text.strip()):
        for piece in token.split(","):
            if not piece:
                continue
            if piece.isdigit() and pieces and ":" in pieces[-1]:
                pieces[-1] += "," + piece
            else:
                pieces.append(piece)
    return pieces


def measures_for(n: int, requested: list[Measure] | None) -> list[Measure]:
    """The measures taken at ``n`` variables: the requested ones defined at n,
    or the default set."""
    if requested is None:
        return default_measures(n)
    return [m for m in requested if m.defined(n)]


def columns_of(measures: Sequence[Measure]) -> tuple[list[str], list[str]]:
    cols: list[str] = []
    kinds: list[str] = []
    for m in measures:
        cols.extend(m.columns)
        kinds.extend(m.kinds)
    return cols, kinds


def row_function(measures: Sequence[Measure]) -> Callable[[Varnel], list]:
    """A function from a ``Varnel`` to its row of measure values."""
    calls = [m.compute for m in measures]
    # Measures that fill several columns return a tuple, spread in place
    # (from the right, so earlier positions stay valid).
    spread = [i for i, m in reversed(list(enumerate(measures))) if m.splits]
    if not spread:
        return lambda f: [c(f) for c in calls]

    def row(f: Varnel) -> list:
        out = [c(f) for c in calls]
        for i in spread:
            out[i:i + 1] = out[i]
        return out

    return row

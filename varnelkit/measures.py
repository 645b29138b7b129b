"""Measures of Boolean functions beyond ``varnel``'s own: the Walsh spectrum
as an array, Fourier coefficients and weights, the algebraic normal form and
degree, the autocorrelation spectrum and its indicators, linear structures,
balancedness, correlation immunity, resiliency, the propagation criterion,
bentness, symmetry, algebraic immunity, block sensitivity and decision-tree
depth.

Every function takes a :class:`~varnelkit.BooleanFunction` (or anything its
constructor takes, such as a ``Varnel`` or a list of bools); the same
measures are methods of ``BooleanFunction``. The heavy parts run in
``varnelkit._native`` on the packed table.

Sign conventions of the spectrum. ``varnel`` maps true to +1 and false to -1
(``convention="varnel"``, the default): W(s) = sum over x of
s(x) (-1)^(s.x) with s(x) = +1 where f(x) is true. The usual convention of the
literature, SageMath and kitty maps f to (-1)^f, true to -1
(``convention="standard"``): W_std(s) = sum over x of (-1)^(f(x) + s.x) =
-W(s). Magnitudes, and every measure below except the signed spectrum and
coefficients themselves, do not depend on the choice.
"""

from __future__ import annotations

from dataclasses import dataclass
from fractions import Fraction
from functools import lru_cache

import numpy as np
import numpy.typing as npt

from . import _native
from .function import BooleanFunction

__all__ = [
    "AlgebraicNormalForm",
    "walsh_spectrum",
    "fourier_coefficients",
    "fourier_weights",
    "anf",
    "algebraic_degree",
    "autocorrelation",
    "absolute_indicator",
    "sum_of_squares_indicator",
    "linear_structures",
    "is_balanced",
    "correlation_immunity",
    "resiliency",
    "propagation_criterion",
    "is_bent",
    "is_symmetric",
    "algebraic_immunity",
    "block_sensitivity",
    "decision_tree_depth",
]

_CONVENTIONS = ("varnel", "standard")


def _function(f: object) -> BooleanFunction:
    return f if isinstance(f, BooleanFunction) else BooleanFunction(f)  # type: ignore[arg-type]


@lru_cache(maxsize=8)
def _weights_of_indices(n: int) -> npt.NDArray[np.uint8]:
    """popcount(i) for i = 0 .. 2^n - 1 (read-only, kept for a few n)."""
    w = np.zeros(1, dtype=np.uint8)
    for _ in range(n):
        w = np.concatenate([w, w + 1])
    w.flags.writeable = False
    return w


def _lowest_weight_nonzero(values: npt.NDArray[np.int64], n: int) -> int | None:
    """The smallest popcount(i) over i != 0 with values[i] != 0, or None."""
    idx = np.flatnonzero(values[1:]) + 1
    if idx.size == 0:
        return None
    return int(_weights_of_indices(n)[idx].min())


# --- spectrum -------------------------------------------------------------------


def walsh_spectrum(f: object, convention: str = "varnel") -> npt.NDArray[np.int64]:
    """The Walsh–Hadamard spectrum W(s), s = 0 .. 2^n - 1, as a new int64 array.

    Bit j of s stands for variable j. ``convention="varnel"`` maps true to +1
    (the spectrum of ``Varnel``'s spectral measures); ``"standard"`` is the
    usual (-1)^f, the negative of it.
    """
    g = _function(f)
    if convention not in _CONVENTIONS:
        raise ValueError(f"convention must be 'varnel' or 'standard', not {convention!r}")
    out = np.empty(1 << g.n, dtype=np.int64)
    _native.walsh_spectrum(g.packed, g.n, out)
    if convention == "standard":
        np.negative(out, out=out)
    return out


def fourier_coefficients(f: object, convention: str = "varnel") -> npt.NDArray[np.float64]:
    """c(s) = W(s) / 2^n as float64 (exact up to 52 variables)."""
    g = _function(f)
    return np.ldexp(walsh_spectrum(g, convention).astype(np.float64), -g.n)


def fourier_weights(f: object) -> npt.NDArray[np.float64]:
    """The Fourier weight of each level k = 0 .. n: the sum of c(s)^2 over the s
    with k ones. The weights add up to 1; each is the nearest float64 to the
    exact rational value."""
    g = _function(f)
    levels = _native.fourier_level_weights(g.packed, g.n)
    total = 1 << (2 * g.n)
    return np.array([float(Fraction(w, total)) for w in levels], dtype=np.float64)


# --- algebraic normal form ----------------------------------------------------


@dataclass(frozen=True, eq=False)
class AlgebraicNormalForm:
    """The algebraic normal form f = XOR of the monomials u with a(u) = 1, each
    the AND of the variables j with bit j of u set.

    ``packed`` is the coefficient table a in the packed layout (read-only
    uint64 words, a(u) at bit u % 64 of word u // 64).
    """

    n: int
    packed: npt.NDArray[np.uint64]

    def monomials(self) -> list[int]:
        """The monomials with coefficient 1, as variable masks, ascending."""
        bits = np.unpackbits(self.packed.view(np.uint8), bitorder="little", count=1 << self.n)
        return [int(u) for u in np.flatnonzero(bits)]

    @property
    def degree(self) -> int:
        """The algebraic degree: the most variables in one monomial (0 when
        there is none)."""
        return max((u.bit_count() for u in self.monomials()), default=0)

    def coefficients(self) -> BooleanFunction:
        """The coefficient table a as a function of n variables."""
        return BooleanFunction.from_packed(self.packed, self.n)

    def __str__(self) -> str:
        """The polynomial over GF(2), higher degrees first: ``x0*x1 + x2 + 1``."""
        terms = sorted(self.monomials(), key=lambda u: (-u.bit_count(), u))
        if not terms:
            return "0"
        return " + ".join(
            "*".join(f"x{j}" for j in range(self.n) if u >> j & 1) or "1" for u in terms)

    def __repr__(self) -> str:
        return f"AlgebraicNormalForm(n={self.n}, '{self}')"

    def __eq__(self, other: object) -> bool:
        if not isinstance(other, AlgebraicNormalForm):
            return NotImplemented
        return self.n == other.n and bool(np.array_equal(self.packed, other.packed))

    def __hash__(self) -> int:
        return hash((self.n, self.packed.tobytes()))


def anf(f: object) -> AlgebraicNormalForm:
    """The algebraic normal form, by the Möbius transform of the packed table."""
    g = _function(f)
    out = np.empty(g.packed.size, dtype=np.uint64)
    _native.anf(g.packed, g.n, out)
    out.flags.writeable = False
    return AlgebraicNormalForm(g.n, out)


def algebraic_degree(f: object) -> int:
    """The largest monomial of the algebraic normal form (0 for constants)."""
    g = _function(f)
    return _native.algebraic_degree(g.packed, g.n)


# --- autocorrelation ------------------------------------------------------------


def autocorrelation(f: object) -> npt.NDArray[np.int64]:
    """r(a) = sum over x of (-1)^(f(x) + f(x XOR a)) for a = 0 .. 2^n - 1, as a
    new int64 array (r(0) = 2^n)."""
    g = _function(f)
    out = np.empty(1 << g.n, dtype=np.int64)
    _native.autocorrelation(g.packed, g.n, out)
    return out


def absolute_indicator(f: object) -> int:
    """The largest |r(a)| over a != 0 (0 for a function of no variables)."""
    r = autocorrelation(f)
    return int(np.abs(r[1:]).max()) if r.size > 1 else 0


def sum_of_squares_indicator(f: object) -> int:
    """The sum of r(a)^2 over all a, exact (as a Python int)."""
    g = _function(f)
    r = autocorrelation(g)
    squares = (r * r).view(np.uint64)  # r^2 <= 4^n fits for n <= 31
    chunk = 1 << max(0, 63 - 2 * g.n)  # so that a chunk's sum fits 64 bits
    return sum(int(squares[i:i + chunk].sum(dtype=np.uint64))
               for i in range(0, squares.size, chunk))


def linear_structures(f: object) -> list[tuple[int, int]]:
    """The linear structures: the pairs (a, c) with a != 0 and
    f(x XOR a) + f(x) = c for every x, ascending by a."""
    g = _function(f)
    r = autocorrelation(g)
    full = 1 << g.n
    idx = np.flatnonzero(np.abs(r[1:]) == full) + 1
    return [(int(a), 0 if r[a] > 0 else 1) for a in idx]


# --- spectral criteria ---------------------------------------------------------


def is_balanced(f: object) -> bool:
    """True when exactly half the entries are true (never for no variables)."""
    g = _function(f)
    return g.n > 0 and g.to_int().bit_count() == 1 << (g.n - 1)


def correlation_immunity(f: object) -> int:
    """The largest m such that W(s) = 0 for every s with 1 <= |s| <= m (n when
    the spectrum vanishes off 0, as for constants)."""
    g = _function(f)
    low = _lowest_weight_nonzero(walsh_spectrum(g), g.n)
    return g.n if low is None else low - 1


def resiliency(f: object) -> int:
    """The correlation-immunity order of a balanced function; -1 when f is not
    balanced."""
    g = _function(f)
    return correlation_immunity(g) if is_balanced(g) else -1


def propagation_criterion(f: object) -> int:
    """The largest k such that r(a) = 0 for every a with 1 <= |a| <= k (f
    satisfies PC(k)); n for bent functions."""
    g = _function(f)
    low = _lowest_weight_nonzero(autocorrelation(g), g.n)
    return g.n if low is None else low - 1


def is_bent(f: object) -> bool:
    """True when n is even and |W(s)| = 2^(n/2) for every s."""
    g = _function(f)
    if g.n % 2:
        return False
    return bool(np.all(np.abs(walsh_spectrum(g)) == 1 << (g.n // 2)))


def is_symmetric(f: object) -> bool:
    """True when f(x) depends only on the number of ones of x."""
    g = _function(f)
    return _native.is_symmetric(g.packed, g.n)


# --- immunity and query complexity ------------------------------------------


def algebraic_immunity(f: object) -> int:
    """The smallest degree of a non-zero g with f*g = 0 or (1 + f)*g = 0 (at
    most ceil(n / 2)); up to 16 variables."""
    g = _function(f)
    return _native.algebraic_immunity(g.packed, g.n)


def block_sensitivity(f: object) -> int:
    """bs(f): the most disjoint blocks of variables, each flipping the value,
    at any one input; up to 24 variables (the time grows quickly from about 14)."""
    g = _function(f)
    return _native.block_sensitivity(g.packed, g.n)


def decision_tree_depth(f: object) -> int:
    """D(f): the depth of the best deterministic decision tree (the fewest
    queries that always determine f(x)); up to 18 variables."""
    g = _function(f)
    return _native.decision_tree_depth(g.packed, g.n)

"""BooleanFunction: a Boolean function as a Python value.

A ``BooleanFunction`` holds a :class:`varnel.Varnel` and behaves like an
immutable Python value around it: it compares and hashes by its table, prints
as ``BooleanFunction(n=5, hex='169ae443')``, indexes, iterates, combines with
``& | ^ ~``, converts to and from hex, bit strings, integers, packed bytes and
NumPy arrays, and pickles compactly. Every ``Varnel`` method is available with
the same result, but a caller's mistake (a table of the wrong length, a
variable out of range, a function too small for a measure) is a ValueError
with a plain message instead of a panic or a silent number.

Conventions: entry i is f at input i, and variable j is bit j of i. Hex and
bit strings are written most significant entry first, so ``"e8"`` (and
``"11101000"``) is the majority of three variables, the same table as
``Varnel.from_number(0xE8, 3)``.
"""

from __future__ import annotations

from collections.abc import Callable, Iterator, Sequence
from typing import TYPE_CHECKING, Any, SupportsIndex, overload

import numpy as np
import numpy.typing as npt

from varnel import Varnel

from . import _packed

if TYPE_CHECKING:
    from varnel import EntanglementSet, EntropySets

    from .measures import AlgebraicNormalForm

__all__ = ["BooleanFunction"]

# Function families: the largest size parameter each accepts (the table of
# the largest has 2^32 entries or fewer).
_FAMILY_LIMITS = {
    "parity": 32,
    "majority": 32,
    "primality": 32,
    "coprimes": 16,
    "sum_is_prime": 15,
    "clique": 8,
}

# Reprs show the whole table up to this many hex digits, then its two ends.
_REPR_DIGITS = 1024


def _log2_exact(length: int, what: str) -> int:
    if length < 1 or length & (length - 1):
        raise ValueError(f"{what} needs a power-of-two length, got {length}")
    return length.bit_length() - 1


def _varnel_from_entries(entries: object) -> Varnel:
    if isinstance(entries, (str, bytes, bytearray)):
        raise TypeError(
            "a truth table is a sequence of bools or 0/1 ints; use "
            "BooleanFunction.from_hex, from_bits or from_packed for text and bytes")
    array = np.asarray(entries)
    if array.ndim != 1:
        raise ValueError(f"a truth table is one-dimensional, got shape {array.shape}")
    _log2_exact(array.size, "a truth table")
    if array.dtype != np.bool_:
        if array.dtype.kind not in "iu":
            raise TypeError(f"truth-table entries must be bools or 0/1 ints, got {array.dtype}")
        if array.size and (int(array.min()) < 0 or int(array.max()) > 1):
            raise ValueError("truth-table entries must be 0 or 1")
        array = array.astype(np.bool_)
    return Varnel(np.ascontiguousarray(array))


def _rebuild(n: int, packed: bytes) -> BooleanFunction:
    return BooleanFunction(_packed.from_packed(packed, n))


class BooleanFunction:
    """A Boolean function of n variables, given by its 2^n entries.

    ``BooleanFunction(table)`` takes a sequence or a one-dimensional NumPy
    array of bools or 0/1 integers (entry i = f(i)), a ``Varnel`` (wrapped
    without copying) or another ``BooleanFunction``.
    """

    __slots__ = ("_v", "_n", "_packed", "_entries", "_hash")

    _v: Varnel
    _n: int
    _packed: npt.NDArray[np.uint64] | None
    _entries: npt.NDArray[np.bool_] | None
    _hash: int | None

    def __init__(self, table: Varnel | BooleanFunction | npt.ArrayLike) -> None:
        if isinstance(table, Varnel):
            v = table
        elif isinstance(table, BooleanFunction):
            v = table._v
        else:
            v = _varnel_from_entries(table)
        self._v = v
        self._n = v.n_vars()
        self._packed = None
        self._entries = None
        self._hash = None

    # --- constructors -------------------------------------------------------

    @classmethod
    def from_int(cls, value: int, n: int) -> BooleanFunction:
        """The function of ``n`` variables whose entry i is bit i of ``value``."""
        n = cls._check_n(n)
        size = 1 << n
        if value < 0 or value >> size:
            raise ValueError(f"{value:#x} is not a table of {n} variables "
                             f"(it needs 0 <= value < 2**{size})")
        return cls.from_packed(value.to_bytes((size + 7) // 8, "little"), n)

    @classmethod
    def from_hex(cls, text: str, n: int | None = None) -> BooleanFunction:
        """From hex digits, most significant first: ``"e8"`` is majority of 3.

        Without ``n`` the number of digits gives it (4 * digits = 2^n, so at
        least two variables); with ``n`` the value must fit 2^n bits, as in
        ``from_hex("1", 1)``. A ``0x`` prefix and underscores are allowed.
        """
        digits = text.strip().lower().replace("_", "")
        if digits.startswith("0x"):
            digits = digits[2:]
        if not digits or any(c not in "0123456789abcdef" for c in digits):
            raise ValueError(f"not a hex truth table: {text!r}")
        if n is None:
            n = _log2_exact(4 * len(digits), "a hex truth table without n")
        return cls.from_int(int(digits, 16), n)

    @classmethod
    def from_bits(cls, text: str, n: int | None = None) -> BooleanFunction:
        """From a string of 0s and 1s, most significant (last) entry first.

        ``"11101000"`` is majority of 3; without ``n`` the length gives it.
        Underscores and spaces are ignored.
        """
        bits = "".join(text.split()).replace("_", "")
        if not bits or any(c not in "01" for c in bits):
            raise ValueError(f"not a bit-string truth table: {text!r}")
        if n is None:
            n = _log2_exact(len(bits), "a bit-string truth table without n")
        return cls.from_int(int(bits, 2), n)

    @classmethod
    def from_packed(cls, data: Any, n: int) -> BooleanFunction:
        """From packed bits: entry i is bit i % 8 of byte i // 8 (the order of
        ``numpy.packbits(..., bitorder="little")``, and of little-endian 64-bit
        words). ``data`` is bytes or any buffer such as a NumPy array."""
        n = cls._check_n(n)
        return cls(_packed.from_packed(data, n))

    @classmethod
    def from_callable(cls, fn: Callable[..., object], n: int) -> BooleanFunction:
        """Entry x is ``bool(fn(x_0, ..., x_{n-1}))`` with x_j = (x >> j) & 1."""
        n = cls._check_n(n)
        return cls([bool(fn(*((x >> j) & 1 for j in range(n)))) for x in range(1 << n)])

    @classmethod
    def from_number(cls, number: int, num_vars: int) -> BooleanFunction:
        """``Varnel.from_number``: entry i is bit i of a 64-bit ``number``."""
        if not 0 <= num_vars <= 30:
            raise ValueError(f"from_number takes 0 to 30 variables, not {num_vars}")
        return cls(Varnel.from_number(number, num_vars))

    @classmethod
    def decode(cls, raw: bytes) -> BooleanFunction:
        """``Varnel.decode``, with a wrong table length as a ValueError."""
        data = bytes(raw)
        if not data:
            raise ValueError("Unable to decode")
        prefix = _packed._prefix_size(data[0])
        if prefix > 1:
            length = int.from_bytes(data[1:prefix], "little")
        else:
            length = data[0]
        if len(data) >= prefix + length:  # trailing bytes are ignored
            _log2_exact(length, "a decoded truth table")
        return cls(Varnel.decode(data))

    @staticmethod
    def _check_n(n: int) -> int:
        n = int(n)
        if not 0 <= n <= 40:
            raise ValueError(f"the number of variables must be 0 to 40, not {n}")
        return n

    @classmethod
    def _family(cls, name: str, n: int, build: Callable[[int], Varnel]) -> BooleanFunction:
        n = int(n)
        limit = _FAMILY_LIMITS[name]
        if not 0 <= n <= limit:
            raise ValueError(f"{name} takes n from 0 to {limit}, not {n}")
        return cls(build(n))

    @classmethod
    def parity(cls, n: int) -> BooleanFunction:
        """True when the number of ones is even (``Varnel.parity``)."""
        return cls._family("parity", n, Varnel.parity)

    @classmethod
    def majority(cls, n: int) -> BooleanFunction:
        """True when more than n // 2 inputs are one (``Varnel.majority``)."""
        return cls._family("majority", n, Varnel.majority)

    @classmethod
    def primality(cls, n: int) -> BooleanFunction:
        """True when the input, as a number, is prime (``Varnel.primality``)."""
        return cls._family("primality", n, Varnel.primality)

    @classmethod
    def coprimes(cls, n: int) -> BooleanFunction:
        """2n variables: gcd(x, y) = 1 for x high, y low (``Varnel.coprimes``)."""
        return cls._family("coprimes", n, Varnel.coprimes)

    @classmethod
    def sum_is_prime(cls, n: int) -> BooleanFunction:
        """2n variables: x + y is prime (``Varnel.sum_is_prime``)."""
        return cls._family("sum_is_prime", n, Varnel.sum_is_prime)

    @classmethod
    def clique(cls, n: int) -> BooleanFunction:
        """One variable per edge of an n-vertex graph: a clique of n // 2
        vertices exists (``Varnel.clique``)."""
        return cls._family("clique", n, Varnel.clique)

    # --- the value ------------------------------------------------------------

    @property
    def varnel(self) -> Varnel:
        """The ``Varnel`` this function holds (shared, not copied)."""
        return self._v

    @property
    def n(self) -> int:
        """The number of variables."""
        return self._n

    @property
    def packed(self) -> npt.NDArray[np.uint64]:
        """The packed table: read-only little-endian 64-bit words, entry i at
        bit i % 64 of word i // 64 (computed once)."""
        if self._packed is None:
            words = _packed.to_packed(self._v)
            words.flags.writeable = False
            self._packed = words
        return self._packed

    def _bools(self) -> npt.NDArray[np.bool_]:
        if self._entries is None:
            raw = self._v.encode()
            # A read-only view of the encoding's one byte per entry.
            self._entries = np.frombuffer(raw, dtype=np.bool_, offset=_packed._prefix_size(raw[0]))
        return self._entries

    def __array__(self, dtype: npt.DTypeLike = None, copy: bool | None = None) -> npt.NDArray[Any]:
        entries = self._bools()
        if dtype is not None and np.dtype(dtype) != np.bool_:
            return entries.astype(dtype)
        return entries.copy() if copy else entries

    def __len__(self) -> int:
        return 1 << self._n

    @overload
    def __getitem__(self, index: SupportsIndex) -> bool: ...
    @overload
    def __getitem__(self, index: slice) -> npt.NDArray[np.bool_]: ...
    def __getitem__(self, index: SupportsIndex | slice) -> bool | npt.NDArray[np.bool_]:
        if isinstance(index, slice):
            return self._bools()[index]
        i = index.__index__()
        size = 1 << self._n
        if i < 0:
            i += size
        if not 0 <= i < size:
            raise IndexError(f"entry {index} is out of range for a table of {size} entries")
        return self._v.eval(i)

    def __call__(self, *bits: int | bool) -> bool:
        if len(bits) != self._n:
            raise ValueError(f"a function of {self._n} variables takes {self._n} bits, "
                             f"got {len(bits)}")
        x = 0
        for j, b in enumerate(bits):
            if b not in (0, 1):
                raise ValueError(f"bit {j} must be 0 or 1, not {b!r}")
            x |= int(b) << j
        return self._v.eval(x)

    def __iter__(self) -> Iterator[bool]:
        return iter(self._v.repr())

    def __eq__(self, other: object) -> bool:
        if not isinstance(other, BooleanFunction):
            return NotImplemented
        return self._n == other._n and bool(np.array_equal(self.packed, other.packed))

    def __hash__(self) -> int:
        if self._hash is None:
            self._hash = hash((self._n, self.packed.tobytes()))
        return self._hash

    def __repr__(self) -> str:
        digits = self.to_hex()
        if len(digits) > _REPR_DIGITS:
            half = _REPR_DIGITS // 2
            digits = digits[:half] + "..." + digits[-half:]
        return f"BooleanFunction(n={self._n}, hex='{digits}')"

    def __reduce__(self) -> tuple[Callable[[int, bytes], BooleanFunction], tuple[int, bytes]]:
        return _rebuild, (self._n, self.packed.tobytes())

    def _combine(self, other: object, op: Callable[[Any, Any], Any]) -> BooleanFunction:
        if not isinstance(other, BooleanFunction):
            return NotImplemented
        if other._n != self._n:
            raise ValueError(f"cannot combine functions of {self._n} and {other._n} variables")
        return BooleanFunction(_packed.from_packed(op(self.packed, other.packed), self._n))

    def __and__(self, other: object) -> BooleanFunction:
        return self._combine(other, np.bitwise_and)

    def __or__(self, other: object) -> BooleanFunction:
        return self._combine(other, np.bitwise_or)

    def __xor__(self, other: object) -> BooleanFunction:
        return self._combine(other, np.bitwise_xor)

    def __invert__(self) -> BooleanFunction:
        # Padding bits of a table of fewer than 64 entries are ignored.
        return BooleanFunction(_packed.from_packed(np.invert(self.packed), self._n))

    # --- conversions ------------------------------------------------------------

    def to_int(self) -> int:
        """The table as a number: bit i is entry i."""
        return int.from_bytes(self.to_packed(), "little")

    def to_hex(self) -> str:
        """Hex digits, most significant first (at least one digit; 2^n / 4 digits
        from two variables on), without prefix."""
        width = max(1, (1 << self._n) // 4)
        return format(self.to_int(), f"0{width}x")

    def to_bits(self) -> str:
        """A string of 2^n 0s and 1s, the last entry first."""
        return format(self.to_int(), f"0{1 << self._n}b")

    def to_packed(self) -> bytes:
        """Packed bytes, entry i at bit i % 8 of byte i // 8 (ceil(2^n / 8) bytes)."""
        return self.packed.tobytes()[: ((1 << self._n) + 7) // 8]

    # --- the methods of Varnel, with argument checks ------------------------

    def _check_var(self, var: int) -> int:
        v = int(var)
        if not 0 <= v < self._n:
            raise ValueError(f"variable {var} is out of range for a function of "
                             f"{self._n} variables")
        return v

    def _check_vars(self, vars: Sequence[int]) -> list[int]:
        if isinstance(vars, (str, bytes)):
            raise TypeError("vars must be a sequence of variable indices")
        return [self._check_var(v) for v in vars]

    def _need_variables(self, what: str) -> None:
        if self._n == 0:
            raise ValueError(f"{what} needs a function of at least one variable")

    def eval(self, i: int) -> bool:
        return self._v.eval(i)

    def repr(self) -> list[bool]:
        return self._v.repr()

    def size(self) -> int:
        return self._v.size()

    def n_vars(self) -> int:
        return self._n

    def encode(self) -> bytes:
        return self._v.encode()

    def table(self, vars: Sequence[int]) -> npt.NDArray[np.bool_]:
        checked = self._check_vars(vars)
        if len(set(checked)) != len(checked):
            raise ValueError(f"the variables of a restriction table must be distinct: {checked}")
        return self._v.table(checked)

    def information(self, vars: Sequence[int]) -> int:
        return self._v.information(self._check_vars(vars))

    def fragmentation_coefficient(self, vars: Sequence[int]) -> float:
        return self._v.fragmentation_coefficient(self._check_vars(vars))

    def entropy(self) -> float:
        self._need_variables("entropy")
        return self._v.entropy()

    def entropy_sets(self) -> list[EntropySets]:
        self._need_variables("entropy_sets")
        return self._v.entropy_sets()

    def entanglement(self) -> int:
        self._need_variables("entanglement")
        return self._v.entanglement()

    def entanglement_sets(self) -> list[EntanglementSet]:
        self._need_variables("entanglement_sets")
        return self._v.entanglement_sets()

    def equanimity_importance(self) -> float:
        self._need_variables("equanimity_importance")
        return self._v.equanimity_importance()

    def fragmentation_k(self, k: int) -> float:
        if int(k) < 0:
            raise ValueError(f"k must be non-negative, not {k}")
        return self._v.fragmentation_k(k)

    def fragmentation_profile(self) -> list[float]:
        return self._v.fragmentation_profile()

    def fragmentation_spectrum(self) -> list[float]:
        return self._v.fragmentation_spectrum()

    def restriction_signature(self) -> list[float]:
        return self._v.restriction_signature()

    def fragmentation_peak(self) -> tuple[int, float]:
        return self._v.fragmentation_peak()

    def fragmentation_delta(self) -> list[float]:
        return self._v.fragmentation_delta()

    def fragmentation_delta2(self) -> list[float]:
        return self._v.fragmentation_delta2()

    def spectral_entropy(self) -> float:
        return self._v.spectral_entropy()

    def no_linearity(self) -> int:
        return self._v.no_linearity()

    def degree(self) -> int:
        return self._v.degree()

    def influence(self, var: int) -> float:
        return self._v.influence(self._check_var(var))

    def total_influence(self) -> float:
        return self._v.total_influence()

    def max_sensitivity(self) -> int:
        return self._v.max_sensitivity()

    def mean_sensitivity(self) -> float:
        return self._v.mean_sensitivity()

    def certificate_complexity(self) -> int:
        return self._v.certificate_complexity()

    def frontier_size(self) -> int:
        return self._v.frontier_size()

    def max_frontier_size(self) -> int:
        return self._v.max_frontier_size()

    def minimal_gates(self) -> int | None:
        return self._v.minimal_gates()

    def npn_representant(self) -> BooleanFunction | None:
        r = self._v.npn_representant()
        return None if r is None else BooleanFunction(r)

    # --- the measures of varnelkit.measures -----------------------------------

    def walsh_spectrum(self, convention: str = "varnel") -> npt.NDArray[np.int64]:
        from . import measures
        return measures.walsh_spectrum(self, convention)

    def fourier_coefficients(self, convention: str = "varnel") -> npt.NDArray[np.float64]:
        from . import measures
        return measures.fourier_coefficients(self, convention)

    def fourier_weights(self) -> npt.NDArray[np.float64]:
        from . import measures
        return measures.fourier_weights(self)

    def anf(self) -> AlgebraicNormalForm:
        from . import measures
        return measures.anf(self)

    def algebraic_degree(self) -> int:
        from . import measures
        return measures.algebraic_degree(self)

    def autocorrelation(self) -> npt.NDArray[np.int64]:
        from . import measures
        return measures.autocorrelation(self)

    def absolute_indicator(self) -> int:
        from . import measures
        return measures.absolute_indicator(self)

    def sum_of_squares_indicator(self) -> int:
        from . import measures
        return measures.sum_of_squares_indicator(self)

    def linear_structures(self) -> list[tuple[int, int]]:
        from . import measures
        return measures.linear_structures(self)

    def is_balanced(self) -> bool:
        from . import measures
        return measures.is_balanced(self)

    def correlation_immunity(self) -> int:
        from . import measures
        return measures.correlation_immunity(self)

    def resiliency(self) -> int:
        from . import measures
        return measures.resiliency(self)

    def propagation_criterion(self) -> int:
        from . import measures
        return measures.propagation_criterion(self)

    def is_bent(self) -> bool:
        from . import measures
        return measures.is_bent(self)

    def is_symmetric(self) -> bool:
        from . import measures
        return measures.is_symmetric(self)

    def algebraic_immunity(self) -> int:
        from . import measures
        return measures.algebraic_immunity(self)

    def block_sensitivity(self) -> int:
        from . import measures
        return measures.block_sensitivity(self)

    def decision_tree_depth(self) -> int:
        from . import measures
        return measures.decision_tree_depth(self)

"""Complexity measures of Boolean functions given by their truth tables.

A :class:`Varnel` holds a Boolean function of n variables as its full truth
table of 2**n entries. Entry ``x`` is the value at the input whose bit ``j``
is variable ``j`` (variable 0 is the least significant bit).

Failures that the caller can cause raise ordinary exceptions (TypeError,
OverflowError, IndexError, ValueError, MemoryError); internal failures such as
a table whose length is not a power of two raise ``PanicException``, which
derives from BaseException, not from Exception.
"""

from collections.abc import Sequence
from typing import SupportsIndex, TypeAlias, final, type_check_only

import numpy as np
import numpy.typing as npt

# A truth table as the constructor takes it: Python bools, or NumPy booleans.
_Entries: TypeAlias = Sequence[bool] | npt.NDArray[np.bool_]

@final
@type_check_only
class PanicException(BaseException):
    """An internal failure of the native code, carrying its message.

    Raised, for example, for a truth table whose length is not a power of two
    (message ``"Invalid size"``). It derives from BaseException, like
    SystemExit, so ``except Exception`` does not catch it. The class is not an
    attribute of the module (its qualified name is
    ``pyo3_runtime.PanicException``): catch it as BaseException and test
    ``type(e).__name__``.

    >>> try:
    ...     Varnel([True, False, True])
    ... except BaseException as e:
    ...     print(type(e).__name__, e)
    PanicException Invalid size
    """

@final
@type_check_only
class EntropySets:
    """One balanced bipartition (``set1``, ``set2``) and H(set1) + H(set2).

    Returned by :meth:`Varnel.entropy_sets`; not constructible and not an
    attribute of the module.
    """

    @property
    def entropy(self) -> float:
        """H(set1) + H(set2) in bits, a single-precision value."""
    @property
    def set1(self) -> list[int]:
        """The side listed first, ascending; for even n it holds variable 0."""
    @property
    def set2(self) -> list[int]:
        """The complement of ``set1``, ascending."""

@final
@type_check_only
class EntanglementSet:
    """One balanced bipartition (``set1``, ``set2``) and N(set1) + N(set2).

    Returned by :meth:`Varnel.entanglement_sets`; not constructible and not an
    attribute of the module.
    """

    @property
    def entanglement(self) -> int:
        """N(set1) + N(set2): the numbers of distinct forms, added."""
    @property
    def set1(self) -> list[int]:
        """The side listed first, ascending; for even n it holds variable 0."""
    @property
    def set2(self) -> list[int]:
        """The complement of ``set1``, ascending."""

@final
class Varnel:
    """A Boolean function of n variables, held as its truth table.

    ``Varnel(repr)`` takes the 2**n entries in index order: entry ``x`` is
    f(x_0, ..., x_{n-1}) with x_j = (x >> j) & 1. The items must be ``bool``
    (or NumPy booleans); the length must be a power of two, otherwise
    PanicException "Invalid size". The table never changes afterwards.

    >>> f = Varnel([False, False, False, True])     # x0 AND x1
    >>> f.n_vars(), f.size(), f.eval(3)
    (2, 4, True)
    """

    def __init__(self, repr: _Entries) -> None: ...

    # -- the truth table ---------------------------------------------------

    @staticmethod
    def from_number(number: SupportsIndex, num_vars: SupportsIndex) -> Varnel:
        """The function of ``num_vars`` variables whose entry i is bit i of ``number``.

        ``number`` is an unsigned 64-bit integer: entries from 64 on are false,
        and higher bits of a shorter table are ignored without notice.
        ``num_vars`` goes from 0 to 30; 31 and 63 (modulo 64) raise
        PanicException, other values from 32 on ValueError.

        >>> Varnel.from_number(6, 2).repr()
        [False, True, True, False]
        >>> Varnel.from_number(0b1110_1000, 3).repr() == Varnel.majority(3).repr()
        True
        """
    def eval(self, i: SupportsIndex) -> bool:
        """The entry at input ``i``; IndexError when ``i`` >= ``size()``.

        >>> Varnel.majority(3).eval(6)
        True
        >>> Varnel.majority(3).eval(8)
        Traceback (most recent call last):
          ...
        IndexError: Index out of range: 8
        """
    def repr(self) -> list[bool]:
        """A new list of all 2**n entries in index order.

        An ordinary method: ``repr(f)`` is still the plain object text.

        >>> Varnel.parity(2).repr()
        [True, False, False, True]
        """
    def size(self) -> int:
        """The number of entries, 2**n.

        >>> Varnel.majority(3).size()
        8
        """
    def n_vars(self) -> int:
        """The number of variables n.

        >>> Varnel.clique(4).n_vars()
        6
        """

    # -- families ------------------------------------------------------------

    @classmethod
    def majority(cls, n: SupportsIndex) -> Varnel:
        """Majority of n variables: true when more than ⌊n/2⌋ inputs are 1.

        For even n a tie (exactly n/2 ones) is false.

        >>> Varnel.majority(3).repr()
        [False, False, False, True, False, True, True, True]
        """
    @classmethod
    def parity(cls, n: SupportsIndex) -> Varnel:
        """Parity of n variables: true when the number of 1 inputs is EVEN.

        This is the complement of x_0 XOR ... XOR x_{n-1}: input 0 gives true.

        >>> Varnel.parity(2).repr()
        [True, False, False, True]
        """
    @classmethod
    def coprimes(cls, n: SupportsIndex) -> Varnel:
        """Coprimality of two n-bit numbers, 2n variables: true when gcd(x, y) = 1.

        y is variables 0 .. n-1 (the low half of the index), x is variables
        n .. 2n-1; gcd(x, 0) = x, so (1, 0) is true and (0, 0) false. n <= 31.

        >>> Varnel.coprimes(1).repr()
        [False, True, True, True]
        """
    @classmethod
    def primality(cls, n: SupportsIndex) -> Varnel:
        """Primality of n-bit numbers: entry i is true when i is prime.

        >>> f = Varnel.primality(4)
        >>> [i for i in range(f.size()) if f.eval(i)]
        [2, 3, 5, 7, 11, 13]
        """
    @classmethod
    def sum_is_prime(cls, n: SupportsIndex) -> Varnel:
        """Primality of a sum, 2n variables: true when x + y is prime.

        The operands are split as in :meth:`coprimes`. n <= 15.

        >>> Varnel.sum_is_prime(1).repr()
        [False, False, False, True]
        """
    @classmethod
    def clique(cls, n: SupportsIndex) -> Varnel:
        """Clique of size k = ⌊n/2⌋ in a graph on n vertices, n(n-1)/2 variables.

        Variable e(u, v) = u(2n - u - 1)/2 + (v - u - 1) is the edge u < v, in
        the order (0,1), (0,2), ..., (n-2,n-1). k <= 1 for n <= 3 makes the
        function constant true, and n = 4, 5 give "has an edge". n <= 11.

        >>> f = Varnel.clique(4)
        >>> f.n_vars(), f.eval(0), f.eval(1)
        (6, False, True)
        """

    # -- restriction and information ----------------------------------------

    def table(self, vars: Sequence[SupportsIndex]) -> npt.NDArray[np.bool_]:
        """The restriction matrix: one row per assignment of ``vars``.

        ``vars`` is sorted first (V, k entries), R is the ascending list of the
        other variables. Element [a, b] is f at the input where the j-th
        smallest of V takes bit j of a and R[j] takes bit j of b; the shape is
        (2**k, 2**(n-k)), dtype bool. A repeated or out-of-range variable
        raises PanicException.

        >>> Varnel.from_number(2, 2).table([0]).tolist()
        [[False, False], [True, False]]
        """
    def information(self, vars: Sequence[SupportsIndex]) -> int:
        """N(vars): the number of distinct sub-functions (forms) when ``vars`` are fixed.

        Equal to the number of distinct rows of :meth:`table`. An index >= n
        is not an error: where its bit is set the sub-function reads false.

        >>> Varnel.majority(3).information([0, 1])
        3
        """
    def fragmentation_coefficient(self, vars: Sequence[SupportsIndex]) -> float:
        """H(vars): the entropy in bits of the forms when ``vars`` are fixed.

        Each of the 2**k assignments counts equally: H = -Σ p log2 p over
        the distinct forms, p being the share of assignments giving that form.
        Empty ``vars`` gives -0.0.

        >>> Varnel.majority(3).fragmentation_coefficient([0, 1])
        1.5
        """

    # -- balanced bipartitions ----------------------------------------------

    def entropy(self) -> float:
        """min over balanced bipartitions (A, B) of H(A) + H(B), in bits.

        A has ⌊n/2⌋ variables and B the rest. Fails for n = 0 (PanicException
        "capacity overflow").

        >>> Varnel.majority(3).entropy()
        2.5
        """
    def entropy_sets(self) -> list[EntropySets]:
        """H(A) + H(B) for every balanced bipartition, one record each.

        In lexicographic order of A for n <= 9; for n >= 10 the order is not
        fixed.

        >>> [(r.set1, r.set2, r.entropy) for r in Varnel.majority(3).entropy_sets()]
        [([0], [1, 2], 2.5), ([1], [0, 2], 2.5), ([2], [0, 1], 2.5)]
        """
    def entanglement(self) -> int:
        """min over balanced bipartitions (A, B) of N(A) + N(B).

        N counts distinct forms (:meth:`information`); the smallest possible
        value is 2 (a constant).

        >>> Varnel.majority(3).entanglement()
        5
        """
    def entanglement_sets(self) -> list[EntanglementSet]:
        """N(A) + N(B) for every balanced bipartition, one record each.

        >>> [(r.set1, r.entanglement) for r in Varnel.majority(3).entanglement_sets()]
        [([0], 5), ([1], 5), ([2], 5)]
        """
    def equanimity_importance(self) -> float:
        """The share of hypercube edges {x, x XOR 2**i} along which f changes.

        Changed edges / (n 2**(n-1)); equal to total influence / n. NaN for n = 0.

        >>> Varnel.majority(3).equanimity_importance()
        0.5
        """

    # -- fragmentation ------------------------------------------------------

    def fragmentation_k(self, k: SupportsIndex) -> float:
        """F(k): the mean of H(S) over all k-subsets S of the variables.

        F(0) = -0.0; F(n) is the binary entropy of the share of true entries;
        k > n gives 0.0.

        >>> Varnel.majority(3).fragmentation_k(2)
        1.5
        """
    def fragmentation_profile(self) -> list[float]:
        """The profile [F(0), F(1), ..., F(n)].

        >>> Varnel.majority(3).fragmentation_profile()
        [-0.0, 1.0, 1.5, 1.0]
        """
    def fragmentation_spectrum(self) -> list[float]:
        """Another name of :meth:`fragmentation_profile`.

        >>> Varnel.majority(3).fragmentation_spectrum()
        [-0.0, 1.0, 1.5, 1.0]
        """
    def restriction_signature(self) -> list[float]:
        """Another name of :meth:`fragmentation_profile`.

        >>> Varnel.majority(3).restriction_signature()
        [-0.0, 1.0, 1.5, 1.0]
        """
    def fragmentation_peak(self) -> tuple[int, float]:
        """(k, F(k)) for the first largest entry of the profile.

        >>> Varnel.majority(3).fragmentation_peak()
        (2, 1.5)
        """
    def fragmentation_delta(self) -> list[float]:
        """The first difference of the profile, F(k+1) - F(k), n entries.

        >>> Varnel.majority(3).fragmentation_delta()
        [1.0, 0.5, -0.5]
        """
    def fragmentation_delta2(self) -> list[float]:
        """The second difference of the profile, n - 1 entries (empty for n <= 1).

        >>> Varnel.majority(3).fragmentation_delta2()
        [-0.5, -1.0]
        """

    # -- encoding -----------------------------------------------------------

    def encode(self) -> bytes:
        """The table as bytes: the length L as a varint, then one byte (0 or 1) per entry.

        The length takes 1 byte (L <= 250), or 0xFB + 2, 0xFC + 4, 0xFD + 8
        bytes little-endian.

        >>> Varnel.parity(2).encode()
        b'\\x04\\x01\\x00\\x00\\x01'
        """
    @classmethod
    def decode(cls, raw: bytes) -> Varnel:
        """The function written by :meth:`encode`; trailing bytes are ignored.

        Malformed input raises ValueError "Unable to decode"; a length that is
        not a power of two raises PanicException "Invalid size".

        >>> Varnel.decode(b'\\x02\\x00\\x01\\xff').repr()
        [False, True]
        """

    # -- optimal circuits ---------------------------------------------------

    def minimal_gates(self) -> int | None:
        """The fewest two-input gates of any circuit for f (0 .. 12); None unless n = 5.

        Every two-input operator that depends on both inputs costs one gate;
        complemented inputs and outputs are free.

        >>> Varnel.parity(5).minimal_gates()
        4
        >>> Varnel.majority(3).minimal_gates() is None
        True
        """
    def npn_representant(self) -> Varnel | None:
        """The NPN class representative of f, as a 5-variable Varnel; None unless n = 5.

        The representative r is the least 32-bit word over all input
        permutations and complements, with the output complemented when its
        top bit is set, reading f into a word with bit 31 - i = f(i). The
        result is ``Varnel.from_number(r, 5)``: entry i is bit i of r, that is
        the representative with all five inputs complemented.

        >>> rep = Varnel.from_number(0x88888888, 5).npn_representant()  # x0 AND x1
        >>> rep is not None and hex(sum(b << i for i, b in enumerate(rep.repr())))
        '0xff'
        """

    # -- frontier -----------------------------------------------------------

    def frontier_size(self) -> int:
        """The number of hypercube edges joining a false input to a true one.

        The frontier graph is built on the first call and kept in the object.

        >>> Varnel.majority(3).frontier_size()
        6
        """
    def max_frontier_size(self) -> int:
        """The bound n × min(#false inputs, #true inputs) of :meth:`frontier_size`.

        >>> Varnel.majority(3).max_frontier_size()
        12
        """

    # -- sensitivity and influence ------------------------------------------

    def max_sensitivity(self) -> int:
        """max over inputs x of s(x), the number of j with f(x XOR 2**j) != f(x).

        >>> Varnel.majority(3).max_sensitivity()
        2
        """
    def mean_sensitivity(self) -> float:
        """The mean of s(x) over all 2**n inputs (the average sensitivity).

        >>> Varnel.majority(3).mean_sensitivity()
        1.5
        """
    def influence(self, var: SupportsIndex) -> float:
        """Inf_var(f) = Σ over S containing var of ĉ(S)²: Pr[f(x) != f(x XOR 2**var)].

        A variable >= n is not an error and gives -0.0.

        >>> Varnel.majority(3).influence(0), Varnel.majority(3).influence(5)
        (0.5, -0.0)
        """
    def total_influence(self) -> float:
        """Σ over S of #S · ĉ(S)²: the sum of the influences (#S = size of S).

        >>> Varnel.majority(3).total_influence()
        1.5
        """

    # -- spectrum -----------------------------------------------------------

    def spectral_entropy(self) -> float:
        """-Σ ĉ(S)² ln ĉ(S)² over the non-zero Fourier coefficients, in nats.

        ĉ(S) = W(S) / 2**n with W(S) = Σ_x F(x) (-1)^popcount(x & S) and F = +1 where
        f is true, -1 where false. At most n ln 2 (bent functions).

        >>> Varnel([False, False, False, True]).spectral_entropy()
        1.3862943649291992
        """
    def no_linearity(self) -> int:
        """The nonlinearity: the Hamming distance to the nearest affine function.

        2**(n-1) - max_S abs(W(S)) / 2, with W as in :meth:`spectral_entropy`.

        >>> Varnel([False, False, False, True]).no_linearity()
        1
        """
    def degree(self) -> int:
        """The Fourier degree: the largest #S with ĉ(S) != 0 (#S = size of S).

        Not the algebraic (GF(2)) degree: XOR of two variables has degree 2.

        >>> Varnel.from_number(0b0110, 2).degree()
        2
        """

    # -- certificates -------------------------------------------------------

    def certificate_complexity(self) -> int:
        """max over inputs x of the smallest set of variables whose values at x force f(x).

        >>> Varnel.majority(3).certificate_complexity()
        2
        """

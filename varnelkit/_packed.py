"""Packed tables: the one way functions cross between ``varnel`` and varnelkit.

A packed table of n variables is a little-endian ``uint64`` array of
max(1, 2**n / 64) words: entry i is bit i mod 64 of word i div 64 (the
padding bits of a table with fewer than 64 entries are zero). It is the
module's own in-memory order, 8 times smaller than ``Varnel.encode()``.

Importing this module registers a pickle reducer for ``varnel.Varnel``
(through :mod:`copyreg`; the class itself is not changed), so functions can
be shipped to worker processes as packed bytes.
"""

from __future__ import annotations

import copyreg
from collections.abc import Callable
from typing import Any

import numpy as np
import numpy.typing as npt

from varnel import Varnel

__all__ = ["to_packed", "from_packed", "n_words"]


def n_words(n: int) -> int:
    """Number of 64-bit words of a packed table of ``n`` variables."""
    return 1 if n <= 6 else 1 << (n - 6)


def _length_prefix(length: int) -> bytes:
    # The variable-length unsigned integer that heads Varnel.encode().
    if length <= 250:
        return bytes([length])
    if length <= 0xFFFF:
        return b"\xfb" + length.to_bytes(2, "little")
    if length <= 0xFFFFFFFF:
        return b"\xfc" + length.to_bytes(4, "little")
    return b"\xfd" + length.to_bytes(8, "little")


def _prefix_size(first: int) -> int:
    return {0xFB: 3, 0xFC: 5, 0xFD: 9}.get(first, 1)


def to_packed(v: Varnel) -> npt.NDArray[np.uint64]:
    """The packed table of ``v`` as a new ``uint64`` array."""
    raw = v.encode()
    entries = np.frombuffer(raw, dtype=np.uint8, offset=_prefix_size(raw[0]))
    bits = np.packbits(entries, bitorder="little")
    words = np.zeros(n_words(v.n_vars()), dtype="<u8")
    words.view(np.uint8)[: bits.size] = bits
    return words


def from_packed(words: Any, n: int) -> Varnel:
    """A new ``Varnel`` of ``n`` variables from its packed table.

    ``words`` is anything NumPy reads as the packed table: a ``uint64``
    array, or ``bytes`` of the same little-endian layout (at least
    ``ceil(2**n / 8)`` bytes; padding is ignored).
    """
    if n < 0:
        raise ValueError(f"the number of variables must be non-negative, not {n}")
    length = 1 << n
    data = np.frombuffer(memoryview(words).cast("B"), dtype=np.uint8)
    need = (length + 7) // 8
    if data.size < need:
        raise ValueError(f"a packed table of {n} variables needs {need} bytes, got {data.size}")
    entries = np.unpackbits(data[:need], bitorder="little", count=length)
    return Varnel.decode(_length_prefix(length) + entries.tobytes())


def _rebuild(n: int, packed: bytes) -> Varnel:
    return from_packed(packed, n)


def _reduce(v: Varnel) -> tuple[Callable[[int, bytes], Varnel], tuple[int, bytes]]:
    return _rebuild, (v.n_vars(), to_packed(v).tobytes())


copyreg.pickle(Varnel, _reduce)

"""NPN classes of five-input functions: canonical forms, transforms, the
class catalogue, one function at a time or by the array.

Two functions are NPN-equivalent when one becomes the other by permuting the
inputs, complementing some of them and complementing the output. Each class
is named by its *representative*, the least 32-bit table word in the class
(entry x at bit x, as for ``Varnel.from_number``). Because complementing every
input reverses a table word's bits, the class holds the mirror image of each
of its words, so this is also the least word in ``varnel``'s own library
order: the representative is exactly the number that
``Varnel.npn_representant()`` returns, read back as a table word::

    rep, t = npn_canonize(w)
    r = Varnel.from_number(w, 5).npn_representant()
    assert rep == sum(e << x for x, e in enumerate(r.repr()))

A :class:`Transform` ``(permutation p, input_complement m, output_complement c)``
leads from a function h to g with ``g(x) = c XOR h(z)``, where
``z_i = x_{p[i]} XOR bit i of m``: input i of h is fed by input ``p[i]`` of g,
complemented when bit i of m is set. ``npn_canonize(f)`` returns the transform
that leads from the representative to f, so
``apply_transform(rep, t) == f`` and ``apply_transform(f, t.inverse()) == rep``.
"""

from __future__ import annotations

from functools import lru_cache
from typing import Any, NamedTuple

import numpy as np

from . import _native
from ._words import as_word, as_word_array

__all__ = [
    "Transform",
    "TRANSFORM_DTYPE",
    "CLASS_DTYPE",
    "npn_canonize",
    "apply_transform",
    "npn_canonize_many",
    "npn_representatives",
    "minimal_gates_many",
    "npn_class_indices",
    "npn5_classes",
]

#: Record of a transform in the arrays of :func:`npn_canonize_many`.
TRANSFORM_DTYPE = np.dtype(
    [("permutation", "u1", (5,)), ("input_complement", "u1"), ("output_complement", "?")]
)
#: Record of a class in :func:`npn5_classes`.
CLASS_DTYPE = np.dtype([("representative", "<u4"), ("gates", "u1"), ("orbit_size", "<u4")])


_HAVE_DATABASE = _native.has_chain_database()


def _require_database() -> None:
    if not _HAVE_DATABASE:
        raise RuntimeError("varnel was built without its chain database (opt5/chains.bin)")


class Transform(NamedTuple):
    """An NPN transform of five-input functions (see the module's description)."""

    permutation: tuple[int, int, int, int, int]
    input_complement: int
    output_complement: bool

    def inverse(self) -> Transform:
        """The transform that undoes this one."""
        p, m = self.permutation, self.input_complement
        inv = [0] * 5
        inv_mask = 0
        for i in range(5):
            inv[p[i]] = i
            if (m >> i) & 1:
                inv_mask |= 1 << p[i]
        return Transform(tuple(inv), inv_mask, self.output_complement)  # type: ignore[arg-type]

    def then(self, other: Transform) -> Transform:
        """This transform followed by ``other``: ``apply_transform(apply_transform(h,
        self), other) == apply_transform(h, self.then(other))``."""
        p, m = self.permutation, self.input_complement
        q, n = other.permutation, other.input_complement
        perm = tuple(q[p[i]] for i in range(5))
        mask = m
        for i in range(5):
            mask ^= ((n >> p[i]) & 1) << i
        return Transform(perm, mask, bool(self.output_complement) != bool(other.output_complement))  # type: ignore[arg-type]

    @classmethod
    def identity(cls) -> Transform:
        return cls((0, 1, 2, 3, 4), 0, False)


def npn_canonize(f: Any) -> tuple[int, Transform]:
    """The representative of f's class and the transform leading from it to f."""
    word = as_word(f)
    _require_database()
    rep, perm, mask, complement = _native.npn_canonize(word)
    return rep, Transform(perm, mask, complement)


def apply_transform(f: Any, transform: Transform | tuple) -> int:
    """The table word of the function that ``transform`` leads to from f."""
    perm, mask, complement = transform
    return _native.apply_transform(as_word(f), list(perm), mask, int(complement))


def npn_canonize_many(words: Any) -> tuple[np.ndarray, np.ndarray]:
    """Representatives (``uint32``) and transforms (records of
    :data:`TRANSFORM_DTYPE`) of an array of table words, in its shape."""
    arr = as_word_array(words)
    _require_database()
    reps = np.empty(arr.shape, dtype=np.uint32)
    transforms = np.empty(arr.shape, dtype=TRANSFORM_DTYPE)
    _native.npn_canonize_many(arr, reps, transforms)
    return reps, transforms


def _per_word(words: Any, dtype: Any, fill: Any) -> np.ndarray:
    """One value of `dtype` per table word, written by the native `fill`."""
    arr = as_word_array(words)
    _require_database()
    out = np.empty(arr.shape, dtype=dtype)
    fill(arr, out)
    return out


def npn_representatives(words: Any) -> np.ndarray:
    """Representatives (``uint32``) of an array of table words."""
    return _per_word(words, np.uint32, _native.npn_representatives)


def minimal_gates_many(words: Any) -> np.ndarray:
    """Minimal numbers of two-input gates (``uint8``) of an array of table words."""
    return _per_word(words, np.uint8, _native.minimal_gates_many)


def npn_class_indices(words: Any) -> np.ndarray:
    """Class indices (``uint32``, positions in :func:`npn5_classes`) of an array
    of table words."""
    return _per_word(words, np.uint32, _native.npn_class_indices)


@lru_cache(maxsize=1)
def _catalogue() -> np.ndarray:
    _require_database()
    n = _native.npn5_class_count()
    reps = np.empty(n, dtype=np.uint32)
    gates = np.empty(n, dtype=np.uint8)
    orbits = np.empty(n, dtype=np.uint32)
    _native.npn5_classes_fill(reps, gates, orbits)
    out = np.empty(n, dtype=CLASS_DTYPE)
    out["representative"] = reps
    out["gates"] = gates
    out["orbit_size"] = orbits
    out.setflags(write=False)
    return out


def npn5_classes() -> np.ndarray:
    """All 616,126 NPN classes of five-input functions, by increasing
    representative, as a read-only structured array with fields
    ``representative``, ``gates`` (minimal two-input gate count) and
    ``orbit_size`` (number of functions in the class; they sum to 2**32).
    Computed once per process and shared."""
    return _catalogue()

"""TEMPORARY stand-in for the five-input class catalogue.

Used only when ``varnelkit.npn5_classes`` is not available, and only for a
sample (``npn5 --sample K``): it draws seeded random five-input functions,
keeps the distinct NPN representatives that ``Varnel.npn_representant``
gives until it has K classes, and counts each orbit by applying every input
permutation and negation (and the output negation) in NumPy. The classes it
finds are biased towards large orbits; the real catalogue samples classes
uniformly. Remove this module once the catalogue is merged.
"""

from __future__ import annotations

import itertools
import random

import numpy as np

from varnel import Varnel

from .census_measures import word_of

__all__ = ["sample_classes"]

_CLASS_DTYPE = np.dtype([("representative", "<u4"), ("gates", "u1"), ("orbit_size", "<u4")])


def _transform_indices() -> np.ndarray:
    # Row t, column x: the input read by the t-th transform at input x.
    rows = []
    for perm in itertools.permutations(range(5)):
        for flips in range(32):
            row = []
            for x in range(32):
                y = 0
                for j in range(5):
                    y |= ((x >> j) & 1) << perm[j]
                row.append(y ^ flips)
            rows.append(row)
    return np.array(rows, dtype=np.intp)


_TRANSFORMS: np.ndarray | None = None
_POWERS = (np.uint64(1) << np.arange(32, dtype=np.uint64))


def orbit_size(word: int) -> int:
    """The number of five-input functions NPN-equivalent to ``word``."""
    global _TRANSFORMS
    if _TRANSFORMS is None:
        _TRANSFORMS = _transform_indices()
    bits = ((word >> np.arange(32, dtype=np.uint64)) & 1).astype(np.uint64)
    images = (bits[_TRANSFORMS] * _POWERS).sum(axis=1)
    return int(np.unique(np.concatenate([images, images ^ np.uint64(0xFFFFFFFF)])).size)


def sample_classes(k: int, seed: int) -> np.ndarray:
    """``k`` distinct classes as (representative, gates, orbit_size) records."""
    rng = random.Random(seed)
    seen: dict[int, None] = {}
    tries = 0
    while len(seen) < k:
        tries += 1
        if tries > 200 * k + 1000:
            break
        rep = word_of(Varnel.from_number(rng.getrandbits(32), 5).npn_representant())
        seen.setdefault(rep)
    out = np.zeros(len(seen), dtype=_CLASS_DTYPE)
    for i, rep in enumerate(seen):
        out[i] = (rep, Varnel.from_number(rep, 5).minimal_gates(), orbit_size(rep))
    return out

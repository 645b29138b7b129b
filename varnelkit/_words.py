"""Five-input functions as 32-bit table words.

A word holds entry x of the truth table at bit x, variable j being bit j of x
(the order of ``Varnel.from_number(word, 5)``). The functions of this package
that work on five-input functions accept a ``Varnel`` of five variables, such
an integer, or a sequence of 32 truth values in table order.
"""

from __future__ import annotations

import operator
from typing import Any

import numpy as np

from varnel import Varnel

__all__ = ["as_word", "as_word_array"]


def as_word(f: Any) -> int:
    """The table word of a five-input function."""
    if isinstance(f, Varnel):
        if f.n_vars() != 5:
            raise ValueError(f"a five-input function is needed, this Varnel has {f.n_vars()} variables")
        from ._packed import to_packed

        return int(to_packed(f)[0]) & 0xFFFFFFFF
    if isinstance(f, (bool, np.bool_)):
        raise TypeError("a five-input function is a Varnel, a 32-bit integer or 32 truth values, not a bool")
    try:
        word = operator.index(f)
    except TypeError:
        pass
    else:
        if not 0 <= word <= 0xFFFFFFFF:
            raise ValueError(f"a five-input function is a 32-bit word, not {word}")
        return word
    if isinstance(f, (str, bytes)):
        raise TypeError(f"a five-input function is a Varnel, a 32-bit integer or 32 truth values, not {type(f).__name__}")
    try:
        entries = list(f)
    except TypeError:
        raise TypeError(
            f"a five-input function is a Varnel, a 32-bit integer or 32 truth values, not {type(f).__name__}"
        ) from None
    if len(entries) != 32:
        raise ValueError(f"a five-input function has 32 truth-table entries, not {len(entries)}")
    word = 0
    for x, e in enumerate(entries):
        if not isinstance(e, (bool, np.bool_)) and e not in (0, 1):
            raise TypeError(f"truth-table entry {x} is {e!r}, not a truth value")
        if e:
            word |= 1 << x
    return word


def as_word_array(words: Any) -> np.ndarray:
    """A C-contiguous ``uint32`` array of table words (no copy when it is one)."""
    arr = np.asarray(words)
    if arr.dtype == np.uint32:
        return np.ascontiguousarray(arr)
    if arr.size == 0:  # np.asarray([]) is a float array
        return np.empty(arr.shape, dtype=np.uint32)
    if arr.dtype.kind not in "iu":
        raise TypeError(f"table words must be integers, not {arr.dtype}")
    if arr.min() < 0 or arr.max() > 0xFFFFFFFF:
        raise ValueError("table words must lie in 0 .. 2**32 - 1")
    return np.ascontiguousarray(arr, dtype=np.uint32)

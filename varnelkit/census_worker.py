"""The unit of work of a census: measure a chunk of packed tables.

A task is ``(n, packed, count, measures)``: ``count`` tables of ``n``
variables packed back to back (``n_words(n)`` little-endian words each) and
the spellings of the measures to take. It is plain data, so it travels to
worker processes and Dask workers as bytes; the answer is one list of
values per table, in the order of the measures' columns.
"""

from __future__ import annotations

import gc
from typing import Iterator

import numpy as np
from varnel import Varnel

from ._packed import from_packed, n_words
from .census_measures import Measure, parse_measure, row_function

__all__ = ["measure_chunk", "tables"]

_ROWS: dict[tuple[str, ...], tuple[list[Measure], object]] = {}


def tables(n: int, packed: bytes, count: int) -> Iterator[Varnel]:
    """The ``count`` functions packed in ``packed``."""
    size = 8 * n_words(n)
    if n <= 6:
        build = Varnel.from_number
        for word in np.frombuffer(packed, dtype="<u8", count=count).tolist():
            yield build(word, n)
    else:
        for j in range(count):
            yield from_packed(packed[j * size:(j + 1) * size], n)


def _row_maker(spellings: tuple[str, ...]):
    cached = _ROWS.get(spellings)
    if cached is None:
        measures = [parse_measure(s) for s in spellings]
        cached = _ROWS[spellings] = (measures, row_function(measures))
    return cached


def _careful_row(measures: list[Measure], f: Varnel) -> list:
    # A measure that fails on this function leaves its columns empty.
    out: list = []
    for m in measures:
        try:
            v = m.compute(f)
        except (KeyboardInterrupt, SystemExit):
            raise
        except BaseException:  # noqa: B036  (the module's internal failure is a BaseException)
            v = (None,) * len(m.columns) if m.splits else None
        if m.splits:
            out.extend(v)
        else:
            out.append(v)
    return out


def measure_chunk(task: tuple[int, bytes, int, tuple[str, ...]]) -> list[list]:
    """The rows of measure values of one task."""
    n, packed, count, spellings = task
    measures, row = _row_maker(spellings)
    rows = []
    collecting = gc.isenabled()
    gc.disable()  # the rows hold no cycles
    try:
        for f in tables(n, packed, count):
            try:
                rows.append(row(f))
            except (KeyboardInterrupt, SystemExit):
                raise
            except BaseException:  # noqa: B036
                rows.append(_careful_row(measures, f))
    finally:
        if collecting:
            gc.enable()
    return rows

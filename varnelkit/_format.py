"""Printing single-precision results.

``varnel`` computes its real-valued measures in single precision and hands
them to Python widened exactly, so 0.4f arrives as 0.4000000059604645. Where
varnelkit prints such a value it prints the shortest text that reads back to
the same single-precision number, in Python's own style: ``0.4``, ``-0.0``,
``1e-10``, ``inf``.
"""

from __future__ import annotations

import math

import numpy as np

__all__ = ["format_f32"]


def format_f32(value: float) -> str:
    """The shortest decimal text of ``value`` taken as a single-precision number.

    Non-finite values print as Python prints them (``inf``, ``-inf``, ``nan``).
    """
    f32 = np.float32(value)
    if not math.isfinite(float(f32)):
        return repr(float(f32))
    # The shortest digits that round-trip in single precision have at most
    # nine significant digits, so they also round-trip through a double, and
    # the double's repr is exactly those digits in Python's layout.
    return repr(float(np.format_float_positional(f32, unique=True, trim="0")))

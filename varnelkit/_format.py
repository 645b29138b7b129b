"""Printing single-precision results."""

from __future__ import annotations

import numpy as np

__all__ = ["format_float32"]


def format_float32(x: float) -> str:
    """The shortest text that reads back to the same single-precision number.

    ``varnel`` widens its single-precision results exactly to Python floats;
    printed as doubles they show the rounding of the narrow type
    (0.4000000059604645). This prints 0.4, and -0.0 stays -0.0.
    """
    return str(np.float32(x))

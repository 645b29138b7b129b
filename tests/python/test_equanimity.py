"""equanimity_importance against its definition."""
import math

import pytest

from varnel import Varnel
from helpers import random_table


def reference(table):
    n = len(table).bit_length() - 1
    changes = sum(table[x] != table[x ^ (1 << i)]
                  for i in range(n) for x in range(len(table)) if not x >> i & 1)
    import numpy as np
    return float(np.float32(changes) / np.float32(n * 2 ** (n - 1))) if n else math.nan


@pytest.mark.parametrize("table, expected", [
    ([False, False, False, True], 0.5),
    ([False, False, False, True, False, True, True, True], 0.5),
    ([False] * 7 + [True], 0.25),
    ([True] * 16, 0.0),
    ([True, False, False, True], 1.0),
])
def test_known_values(table, expected):
    assert Varnel(table).equanimity_importance() == expected


def test_zero_variables_is_nan():
    assert math.isnan(Varnel([True]).equanimity_importance())


def test_random_functions(rng):
    for n in range(1, 13):
        for _ in range(3):
            table = random_table(rng, n)
            assert Varnel(table).equanimity_importance() == reference(table)

"""Helpers shared by the Python tests: tables, exact float comparison, the
internal-failure check and a list that lies about its length. The reference
implementations (tests/reference) are put on the import path once, by
conftest.py."""
import struct

import pytest

AND2 = [False, False, False, True]
MAJ3 = [bool(0b11101000 >> i & 1) for i in range(8)]


def random_table(rng, n):
    """A table of 2**n fair coins drawn from ``rng`` (a random.Random)."""
    return [rng.random() < 0.5 for _ in range(1 << n)]


def parity(n, odd=True):
    """The table that is true on inputs of odd weight (even when not ``odd``)."""
    return [bool(bin(x).count("1") & 1) == odd for x in range(1 << n)]


def majority(n):
    """The table that is true when more than half of the n inputs are 1."""
    return [bin(x).count("1") * 2 > n for x in range(1 << n)]


def same(a, b):
    """Bit-identical floats: -0.0 differs from 0.0, a NaN equals itself."""
    return struct.pack("<d", float(a)) == struct.pack("<d", float(b))


def same_list(a, b):
    return len(a) == len(b) and all(same(x, y) for x, y in zip(a, b))


def is_negative_zero(x):
    return struct.pack("<d", float(x)) == struct.pack("<d", -0.0)


class LyingList(list):
    """A list whose ``len()`` says ``length``, whatever its items are."""

    def __init__(self, items, length):
        super().__init__(items)
        self.length = length

    def __len__(self):
        return self.length


def panics(call, message):
    """Asserts that ``call()`` raises the module's PanicException with ``message``."""
    with pytest.raises(BaseException) as info:
        call()
    assert type(info.value).__name__ == "PanicException"
    assert info.value.args == (message,)


def class_members(seed, per_count):
    """Seeded five-input words across every gate count 0..12: for up to
    ``per_count`` random classes of each count, one random member (inputs
    permuted and complemented, output complemented at random)."""
    import random

    import numpy as np

    import varnelkit
    catalogue = varnelkit.npn5_classes()
    rng = random.Random(seed)
    words = []
    for g in range(13):
        classes = np.flatnonzero(catalogue["gates"] == g)
        for i in rng.sample(list(classes), min(per_count, classes.size)):
            perm = list(range(5))
            rng.shuffle(perm)
            t = (perm, rng.randrange(32), rng.random() < 0.5)
            words.append(varnelkit.apply_transform(int(catalogue["representative"][i]), t))
    return words

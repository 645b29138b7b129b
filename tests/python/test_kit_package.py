"""varnelkit is installed beside varnel by the same wheel."""
import importlib.metadata
import subprocess

import pytest

import varnelkit
from varnelkit import _native


def test_version_is_the_distribution_version():
    assert varnelkit.__version__ == importlib.metadata.version("varnel")


def test_native_module_is_stable_abi_and_exports_only_its_init():
    assert _native.__file__.endswith(".abi3.so")
    out = subprocess.run(["nm", "-D", "--defined-only", _native.__file__],
                         capture_output=True, text=True, check=True).stdout
    names = sorted(line.split()[-1] for line in out.splitlines() if line.strip())
    assert names == ["PyInit__native"]


@pytest.mark.parametrize("n, words", [(0, 1), (6, 1), (7, 2), (20, 1 << 14)])
def test_native_functions_use_the_shared_binding(n, words):
    assert _native.packed_words(n) == words
    assert _native.packed_words(n=n) == words


def test_native_errors_are_ordinary_exceptions():
    with pytest.raises(TypeError, match=r"^packed_words\(\) missing"):
        _native.packed_words()
    with pytest.raises(TypeError, match="argument 'n'"):
        _native.packed_words("3")
    with pytest.raises(ValueError):
        _native.packed_words(41)


@pytest.mark.parametrize("n", [0, 1, 3, 6, 7, 10])
def test_packed_round_trip_and_pickle(n):
    import pickle
    import random

    import numpy as np
    from varnel import Varnel
    from varnelkit._packed import from_packed, to_packed

    rng = random.Random(n)
    table = [rng.random() < 0.5 for _ in range(1 << n)]
    v = Varnel(table)
    words = to_packed(v)
    assert words.dtype == np.dtype("<u8") and words.size == max(1, (1 << n) // 64)
    bits = [(int(words[i >> 6]) >> (i & 63)) & 1 == 1 for i in range(1 << n)]
    assert bits == table
    assert from_packed(words, n).repr() == table
    assert from_packed(words.tobytes(), n).repr() == table
    clone = pickle.loads(pickle.dumps(v))
    assert type(clone) is Varnel and clone.repr() == table
    with pytest.raises(ValueError):
        from_packed(b"", max(n, 4))

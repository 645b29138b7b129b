import pathlib
import random
import sys

import pytest

# The plain reference implementations, importable by every test module.
sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[1] / "reference"))


@pytest.fixture
def rng():
    return random.Random(20261208)

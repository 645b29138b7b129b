import random

import pytest

import varnel


@pytest.fixture
def rng():
    return random.Random(20261208)


def random_table(rng, n):
    return [rng.random() < 0.5 for _ in range(1 << n)]


def make(table):
    return varnel.Varnel(table)

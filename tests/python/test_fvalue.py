"""The truth table: construction, from_number, eval, repr, size, n_vars."""
import pytest

from varnel import Varnel
from helpers import panics, random_table


def test_zero_variables():
    v = Varnel([True])
    assert (v.n_vars(), v.size(), v.eval(0)) == (0, 1, True)
    with pytest.raises(IndexError, match=r"^Index out of range: 1$"):
        v.eval(1)


@pytest.mark.parametrize("length", [0, 3, 6, 100])
def test_invalid_sizes(length):
    panics(lambda: Varnel([False] * length), "Invalid size")


@pytest.mark.parametrize("number, num_vars, table", [
    (6, 2, [False, True, True, False]),
    (0, 0, [False]),
    (1, 0, [True]),
    (2, 0, [False]),
    (2**64 - 1, 6, [True] * 64),
    (2**64 - 1, 7, [True] * 64 + [False] * 64),
    (1, 7, [True] + [False] * 127),
])
def test_from_number(number, num_vars, table):
    assert Varnel.from_number(number, num_vars).repr() == table
    assert Varnel.from_number(num_vars=num_vars, number=number).repr() == table


@pytest.mark.parametrize("num_vars, message", [(31, "Invalid size"), (63, "capacity overflow"),
                                               (127, "capacity overflow")])
def test_from_number_internal_failures(num_vars, message):
    panics(lambda: Varnel.from_number(1, num_vars), message)


@pytest.mark.parametrize("num_vars", [32, 33, 62, 64, 1000, 2**64 - 2])
def test_from_number_rejects_unsupported_sizes(num_vars):
    with pytest.raises(ValueError, match="num_vars"):
        Varnel.from_number(1, num_vars)


def test_from_number_argument_errors_name_the_parameter():
    with pytest.raises(TypeError, match="^argument 'num_vars': "):
        Varnel.from_number(1, 2.0)
    with pytest.raises(TypeError, match="^argument 'number': "):
        Varnel.from_number(None, 2.0)
    with pytest.raises(OverflowError):
        Varnel.from_number(2**64, 2)


def test_eval_out_of_range_message():
    with pytest.raises(IndexError) as info:
        Varnel.from_number(0, 3).eval(8)
    assert str(info.value) == "Index out of range: 8"
    with pytest.raises(IndexError, match=str(2**64 - 1)):
        Varnel.from_number(0, 3).eval(2**64 - 1)


def test_random_tables_agree_everywhere(rng):
    for n in range(0, 12):
        table = random_table(rng, n)
        v = Varnel(table)
        assert v.repr() == table
        assert v.size() == len(table) == 2 ** v.n_vars()
        assert [v.eval(i) for i in range(len(table))] == table
        number = sum(1 << i for i, b in enumerate(table[:64]) if b)
        if n <= 6:
            assert Varnel.from_number(number, n).repr() == table


def test_repr_is_a_fresh_list():
    v = Varnel([True, False])
    a = v.repr()
    a[0] = False
    assert v.repr() == [True, False]
    assert v.repr() is not v.repr()

"""The module and the Varnel class as Python sees them: creation, argument
binding and conversion, borrow rules and internal failures."""
import gc
import re
import subprocess
import sys
import textwrap

import numpy as np
import pytest

import varnel
from varnel import Varnel


def panic_type():
    try:
        Varnel([])
    except BaseException as e:  # noqa: B036 - PanicException derives from BaseException
        return type(e)
    raise AssertionError("no failure")


def test_module_contents():
    assert varnel.__doc__ in ("", None)
    public = {name for name in dir(varnel) if not name.startswith("__")}
    assert public == {"Varnel"}
    assert Varnel.__module__ == "builtins"
    assert Varnel.__name__ == "Varnel"
    assert Varnel.__text_signature__ == "(repr)"
    assert not Varnel.__doc__


def test_only_export_is_the_init_function():
    out = subprocess.run(["nm", "-D", "--defined-only", varnel.__file__],
                         capture_output=True, text=True, check=True).stdout
    names = [line.split()[-1] for line in out.splitlines() if line.strip()]
    assert names == ["PyInit_varnel"]
    assert varnel.__file__.endswith(".abi3.so")


def test_reimport_in_same_interpreter_returns_same_module():
    import importlib
    assert importlib.reload(varnel) is varnel


def test_subinterpreter_is_refused():
    # Python 3.13 renamed the module, and its run_string returns the failure.
    code = textwrap.dedent("""
        import varnel
        try:
            import _xxsubinterpreters as interp
        except ImportError:
            import _interpreters as interp
        sub = interp.create()
        try:
            failure = interp.run_string(sub, "import varnel")
        except Exception as e:
            print(type(e).__name__, e)
        else:
            print(failure.type.__name__, failure.msg)
    """)
    out = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True,
                         check=True).stdout
    assert "ImportError" in out and re.search("sub-?interpreters", out), out


def test_class_properties():
    with pytest.raises(TypeError, match="not an acceptable base type"):
        type("Sub", (Varnel,), {})
    v = Varnel([True, False])
    assert not hasattr(v, "__dict__")
    with pytest.raises(AttributeError):
        v.anything = 1
    with pytest.raises(TypeError):
        __import__("weakref").ref(v)


@pytest.mark.parametrize("name, signature", [
    ("from_number", "(number, num_vars)"),
    ("eval", "($self, i)"),
    ("repr", "($self)"),
    ("size", "($self)"),
    ("n_vars", "($self)"),
    ("encode", "($self)"),
    ("decode", "($cls, raw)"),
])
def test_text_signatures(name, signature):
    raw = Varnel.__dict__[name]
    func = raw.__func__ if isinstance(raw, (classmethod, staticmethod)) else raw
    assert func.__text_signature__ == signature
    assert not func.__doc__


@pytest.mark.parametrize("call, message", [
    (lambda v: v.eval(), "Varnel.eval() missing 1 required positional argument: 'i'"),
    (lambda v: v.eval(1, 2), "Varnel.eval() takes 1 positional arguments but 2 were given"),
    (lambda v: v.eval(0, i=0), "Varnel.eval() got multiple values for argument 'i'"),
    (lambda v: v.eval(j=0), "Varnel.eval() got an unexpected keyword argument 'j'"),
    (lambda v: Varnel.from_number(),
     "Varnel.from_number() missing 2 required positional arguments: 'number' and 'num_vars'"),
    (lambda v: Varnel.from_number(1, 2, 3),
     "Varnel.from_number() takes 2 positional arguments but 3 were given"),
    (lambda v: Varnel(), "Varnel.__new__() missing 1 required positional argument: 'repr'"),
    (lambda v: Varnel([True], [True]),
     "Varnel.__new__() takes 1 positional arguments but 2 were given"),
    (lambda v: Varnel([True], repr=[True]),
     "Varnel.__new__() got multiple values for argument 'repr'"),
    (lambda v: Varnel(rep=[True]), "Varnel.__new__() got an unexpected keyword argument 'rep'"),
    (lambda v: v.eval(1.5), "argument 'i': 'float' object cannot be interpreted as an integer"),
    (lambda v: v.eval("1"), "argument 'i': 'str' object cannot be interpreted as an integer"),
    (lambda v: Varnel([0, 1]), "argument 'repr': 'int' object cannot be converted to 'PyBool'"),
    (lambda v: Varnel("01"), "argument 'repr': Can't extract `str` to `Vec`"),
    (lambda v: Varnel({True}), "argument 'repr': 'set' object cannot be converted to 'Sequence'"),
    (lambda v: Varnel(5), "argument 'repr': 'int' object cannot be converted to 'Sequence'"),
    (lambda v: Varnel.decode(bytearray(b"\x01\x00")),
     "argument 'raw': 'bytearray' object cannot be converted to 'PyBytes'"),
    (lambda v: Varnel.decode(memoryview(b"\x01\x00")),
     "argument 'raw': 'memoryview' object cannot be converted to 'PyBytes'"),
    (lambda v: Varnel.decode("ab"), "argument 'raw': 'str' object cannot be converted to 'PyBytes'"),
])
def test_type_errors(call, message):
    v = Varnel([True, False])
    with pytest.raises(TypeError) as info:
        call(v)
    assert str(info.value) == message


def test_no_argument_methods_reject_arguments():
    with pytest.raises(TypeError, match="takes no arguments"):
        Varnel([True]).size(1)


@pytest.mark.parametrize("value", [-1, 2**64, -(2**70)])
def test_integer_range_raises_overflow_unwrapped(value):
    with pytest.raises(OverflowError) as info:
        Varnel([True]).eval(value)
    assert not str(info.value).startswith("argument")


def test_integer_conversion_accepts_int_subclasses_and_index():
    class Idx:
        def __index__(self):
            return 1

    class MyInt(int):
        pass

    v = Varnel([False, True])
    assert v.eval(True) is True and v.eval(False) is False
    assert v.eval(Idx()) is True
    assert v.eval(MyInt(1)) is True
    assert v.eval(np.int64(1)) is True
    assert v.eval(2**64 - 1 if False else 0) is False


def test_type_error_cause_is_kept():
    class Bad:
        def __index__(self):
            try:
                raise KeyError("inner")
            except KeyError as exc:
                raise TypeError("outer") from exc

    with pytest.raises(TypeError) as info:
        Varnel([True]).eval(Bad())
    assert str(info.value) == "argument 'i': outer"
    assert isinstance(info.value.__cause__, KeyError)


def test_bool_sequences():
    assert Varnel([False, True]).repr() == [False, True]
    assert Varnel(repr=(False, True)).repr() == [False, True]
    arr = np.array([True, False, False, True])
    assert Varnel(arr).repr() == [True, False, False, True]
    assert Varnel(list(arr)).repr() == [True, False, False, True]
    assert Varnel(arr[::-1]).repr() == [True, False, False, True]

    class Seq:
        def __len__(self):
            raise RuntimeError("no size")

        def __getitem__(self, i):
            if i < 2:
                return bool(i)
            raise IndexError

    assert Varnel(Seq()).repr() == [False, True]


def test_panic_exception():
    exc = panic_type()
    assert exc.__module__ == "pyo3_runtime" and exc.__name__ == "PanicException"
    assert exc.__bases__ == (BaseException,)
    assert "BaseException" in exc.__doc__
    with pytest.raises(BaseException) as info:
        try:
            Varnel([True] * 3)
        except Exception:  # must not catch it
            pytest.fail("PanicException was caught as Exception")
    assert type(info.value) is exc
    assert info.value.args == ("Invalid size",)
    assert panic_type() is exc


def test_panic_report_goes_to_stderr():
    code = "import varnel\ntry:\n varnel.Varnel([])\nexcept BaseException as e: print(e)"
    run = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True)
    assert run.stdout.strip() == "Invalid size"
    assert "Invalid size" in run.stderr


def test_class_method_through_instance_returns_new_object():
    v = Varnel([True, False])
    w = v.decode(b"\x02\x00\x01")
    assert w is not v and type(w) is Varnel
    assert v.repr() == [True, False]


def test_no_leaks():
    import resource

    def rss_kib():
        with open("/proc/self/statm") as f:
            return int(f.read().split()[1]) * resource.getpagesize() // 1024

    table = [True, False] * 512

    def work(i):
        v = Varnel(table)
        raw = v.encode()
        w = Varnel.decode(raw)
        w.repr()
        for bad in (lambda: Varnel([True] * 3), lambda: w.eval(1 << 20),
                    lambda: Varnel.decode(b"\x03"), lambda: w.eval(1.5)):
            try:
                bad()
            except BaseException:
                pass

    import os
    # The panic reports go to fd 2; keep them out of the test output.
    saved = os.dup(2)
    devnull = os.open(os.devnull, os.O_WRONLY)
    os.dup2(devnull, 2)
    try:
        for i in range(20000):
            work(i)
        gc.collect()
        before = rss_kib()
        for i in range(100000):
            work(i)
        gc.collect()
        after = rss_kib()
    finally:
        os.dup2(saved, 2)
        os.close(saved)
        os.close(devnull)
    assert after - before < 4096, (before, after)

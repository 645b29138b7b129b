"""The type stubs against the built module (stubtest) and against two type
checkers: a typed example must pass mypy --strict and pyright in strict mode,
and every wrong call of the negative example must be reported, on its line."""
import ast
import json
import os
import pathlib
import re
import subprocess
import sys

import pytest

import varnel
from varnel import Varnel

HERE = pathlib.Path(__file__).resolve().parent
OK = HERE / "example_ok.py"
BAD = HERE / "example_bad.py"
PYRIGHT = os.environ.get("PYRIGHT")
# mypy's cache (numpy's stubs take most of the time) lives with the builds.
MYPY_CACHE = str(HERE.parents[1] / "build" / "mypy-cache")


def stub_path():
    return pathlib.Path(varnel.__file__).parent / "varnel-stubs" / "__init__.pyi"


def marked_lines(path):
    return {i for i, line in enumerate(path.read_text().splitlines(), 1)
            if "# expect-error" in line}


def mypy_error_lines(path, tmp_path):
    out = subprocess.run([sys.executable, "-m", "mypy", "--strict", "--cache-dir", MYPY_CACHE,
                          str(path)],
                         capture_output=True, text=True, cwd=tmp_path)
    lines = set()
    for row in out.stdout.splitlines():
        m = re.match(r"(.+?):(\d+): error:", row)
        if m:
            assert pathlib.Path(m.group(1)).resolve() == path, row
            lines.add(int(m.group(2)))
    assert (out.returncode == 0) == (not lines), out.stdout + out.stderr
    return lines


def pyright_error_lines(path, tmp_path):
    if not PYRIGHT:
        pytest.skip("PYRIGHT names no pyright executable (make test-typing sets it)")
    out = subprocess.run([PYRIGHT, "--outputjson", "--pythonpath", sys.executable, str(path)],
                         capture_output=True, text=True, cwd=tmp_path)
    report = json.loads(out.stdout)
    return {d["range"]["start"]["line"] + 1 for d in report["generalDiagnostics"]
            if d["severity"] == "error"}


CHECKERS = {"mypy": mypy_error_lines, "pyright": pyright_error_lines}


def test_stubs_installed_beside_the_module():
    assert stub_path().is_file()


def test_stubtest_finds_no_difference(tmp_path):
    out = subprocess.run([sys.executable, "-m", "mypy.stubtest", "varnel",
                          "--allowlist", str(HERE / "stubtest-allowlist.txt")],
                         capture_output=True, text=True, cwd=tmp_path)
    assert out.returncode == 0, out.stdout + out.stderr


@pytest.mark.parametrize("checker", sorted(CHECKERS))
def test_typed_example_passes(checker, tmp_path):
    assert CHECKERS[checker](OK, tmp_path) == set()


@pytest.mark.parametrize("checker", sorted(CHECKERS))
def test_wrong_calls_are_reported(checker, tmp_path):
    expected = marked_lines(BAD)
    assert expected
    assert CHECKERS[checker](BAD, tmp_path) == expected


def test_typed_example_runs():
    subprocess.run([sys.executable, str(OK)], check=True, capture_output=True)


def stub_classes():
    tree = ast.parse(stub_path().read_text())
    return {node.name: node for node in tree.body if isinstance(node, ast.ClassDef)}


@pytest.mark.parametrize("name, sample", [
    ("EntropySets", lambda: Varnel.majority(3).entropy_sets()[0]),
    ("EntanglementSet", lambda: Varnel.majority(3).entanglement_sets()[0]),
])
def test_result_class_attributes_match_the_stubs(name, sample):
    # stubtest cannot see these classes (they are no module attributes).
    record = sample()
    assert type(record).__name__ == name
    stubbed = {f.name for f in stub_classes()[name].body if isinstance(f, ast.FunctionDef)}
    runtime = {a for a in dir(type(record)) if not a.startswith("_")}
    assert stubbed == runtime
    for attribute in runtime:
        assert isinstance(getattr(record, attribute), (int, float, list))


def test_every_method_has_a_docstring_with_an_example():
    varnel_class = stub_classes()["Varnel"]
    methods = [f for f in varnel_class.body if isinstance(f, ast.FunctionDef)
               and f.name != "__init__"]
    assert len(methods) == 40
    for f in methods:
        doc = ast.get_docstring(f)
        assert doc and ">>> " in doc, f.name


def test_varnelkit_function_and_measures_pass_mypy_strict(tmp_path):
    import varnelkit
    root = pathlib.Path(varnelkit.__file__).parent
    files = [str(root / m) for m in ("__init__.py", "_format.py", "function.py", "measures.py",
                                     "_packed.py", "_native.pyi")]
    out = subprocess.run([sys.executable, "-m", "mypy", "--strict", "--cache-dir", MYPY_CACHE,
                          "--follow-imports", "silent", *files],
                         capture_output=True, text=True, cwd=tmp_path)
    assert out.returncode == 0, out.stdout + out.stderr

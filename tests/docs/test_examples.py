"""Every example in the documentation runs and prints what it shows: the
Sphinx pages, the README and the docstrings of the type stubs."""
import ast
import doctest
import pathlib
import re

import pytest

from varnel import Varnel

ROOT = pathlib.Path(__file__).resolve().parents[2]
PAGES = sorted((ROOT / "docs").rglob("*.rst"))
README = ROOT / "README.md"
STUB = ROOT / "varnel-stubs" / "__init__.pyi"

FENCE = re.compile(r"^```(\w*)\n(.*?)^```", re.S | re.M)
CODE_BLOCK = re.compile(r"^\s*\.\. code-block::\s*(\w+)", re.M)


def run(text, name, globs):
    """Runs the doctest examples of text; returns how many there were."""
    test = doctest.DocTestParser().get_doctest(text, globs, name, name, 0)
    runner = doctest.DocTestRunner(optionflags=doctest.ELLIPSIS)
    failures = []
    runner.run(test, out=failures.append)
    assert not failures, "".join(failures)
    return len(test.examples)


def stub_docstrings():
    tree = ast.parse(STUB.read_text())
    yield "module", ast.get_docstring(tree)
    for node in ast.walk(tree):
        if isinstance(node, (ast.ClassDef, ast.FunctionDef)) and ast.get_docstring(node):
            yield node.name, ast.get_docstring(node)


@pytest.mark.parametrize("page", PAGES, ids=lambda p: str(p.relative_to(ROOT)))
def test_page_examples(page):
    text = page.read_text()
    run(text, page.name, {})
    # Code that is not an example would not be run: only shell is shown so.
    assert set(CODE_BLOCK.findall(text)) <= {"sh"}


def test_every_measure_page_has_examples():
    for page in PAGES:
        if page.parent.name == "measures":
            assert run(page.read_text(), page.name, {}) >= 3, page


def test_every_method_is_on_a_page():
    shown = set()
    for page in PAGES:
        for line in re.findall(r"^\.\. varnel-methods::(.*)$", page.read_text(), re.M):
            shown.update(line.split())
    stub = next(node for node in ast.parse(STUB.read_text()).body
                if isinstance(node, ast.ClassDef) and node.name == "Varnel")
    methods = {f.name for f in stub.body if isinstance(f, ast.FunctionDef)} - {"__init__"}
    assert shown == methods


def test_readme_examples():
    blocks = FENCE.findall(README.read_text())
    python = [code for lang, code in blocks if lang in ("python", "pycon", "py")]
    assert python
    for code in python:
        assert ">>> " in code, f"a README example is not written as a session:\n{code}"
    # One session: a later block uses the names of an earlier one.
    run("\n".join(python), "README.md", {})
    assert {lang for lang, _ in blocks} <= {"python", "pycon", "py", "sh", "text", ""}


@pytest.mark.parametrize("name, docstring", list(stub_docstrings()), ids=lambda v: v
                         if isinstance(v, str) and "\n" not in v and len(v) < 40 else "")
def test_stub_docstring_examples(name, docstring):
    run(docstring, name, {"Varnel": Varnel})

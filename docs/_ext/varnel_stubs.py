"""Sphinx directives that render the API of `varnel` from its type stubs.

The stubs (varnel-stubs/__init__.pyi) carry each method's signature and its
docstring (definition and example), so the reference pages take both from
there instead of repeating them:

    .. varnel-methods:: entropy entropy_sets
    .. varnel-class:: EntropySets
"""
import ast
import pathlib

from docutils import nodes
from docutils.parsers.rst import Directive
from docutils.statemachine import StringList
from sphinx.util.nodes import nested_parse_with_titles

STUB = pathlib.Path(__file__).resolve().parents[2] / "varnel-stubs" / "__init__.pyi"

# Private aliases of the stubs, spelled out for readers.
ALIASES = {"_Entries": "Sequence[bool] | NDArray[bool_]"}


def _classes():
    tree = ast.parse(STUB.read_text(encoding="utf-8"))
    return {node.name: node for node in tree.body if isinstance(node, ast.ClassDef)}


def _annotation(node):
    text = ast.unparse(node)
    for alias, spelled in ALIASES.items():
        text = text.replace(alias, spelled)
    return text.replace("npt.", "").replace("np.", "")


def _signature(function):
    params = [f"{a.arg}: {_annotation(a.annotation)}" for a in function.args.args
              if a.arg not in ("self", "cls")]
    return f"({', '.join(params)}) -> {_annotation(function.returns)}"


def _decorators(function):
    return {d.id for d in function.decorator_list if isinstance(d, ast.Name)}


def _indented(text):
    return ["   " + line if line else "" for line in text.splitlines()]


def _method_lines(function, owner):
    decorators = _decorators(function)
    if "property" in decorators:
        lines = [f".. py:property:: {owner}.{function.name}",
                 f"   :type: {_annotation(function.returns)}"]
    else:
        lines = [f".. py:method:: {owner}.{function.name}{_signature(function)}"]
        for kind in ("classmethod", "staticmethod"):
            if kind in decorators:
                lines.append(f"   :{kind}:")
    return lines + [""] + _indented(ast.get_docstring(function) or "") + [""]


class _StubDirective(Directive):
    has_content = False
    optional_arguments = 100

    def render(self, lines):
        self.state.document.settings.record_dependencies.add(str(STUB))
        section = nodes.container()
        nested_parse_with_titles(self.state, StringList(lines, source=str(STUB)), section)
        return section.children


class VarnelMethods(_StubDirective):
    """The named methods of Varnel, in the order given."""
    required_arguments = 1

    def run(self):
        methods = {f.name: f for f in _classes()["Varnel"].body
                   if isinstance(f, ast.FunctionDef)}
        lines = []
        for name in self.arguments:
            if name not in methods:
                raise self.error(f"Varnel has no method {name!r} in {STUB}")
            lines += _method_lines(methods[name], "Varnel")
        return self.render(lines)


class VarnelClass(_StubDirective):
    """A class of the stubs with its docstring, its constructor and properties."""
    required_arguments = 1

    def run(self):
        (name,) = self.arguments
        cls = _classes()[name]
        init = next((f for f in cls.body if isinstance(f, ast.FunctionDef)
                     and f.name == "__init__"), None)
        signature = _signature(init).rsplit(" -> ", 1)[0] if init else ""
        lines = [f".. py:class:: {name}{signature}", ""]
        lines += _indented(ast.get_docstring(cls) or "") + [""]
        for f in cls.body:
            if isinstance(f, ast.FunctionDef) and "property" in _decorators(f):
                lines += _indented("\n".join(_method_lines(f, name)))
        return self.render(lines)


def setup(app):
    app.add_directive("varnel-methods", VarnelMethods)
    app.add_directive("varnel-class", VarnelClass)
    return {"parallel_read_safe": True, "parallel_write_safe": True}

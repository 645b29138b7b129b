"""Sphinx configuration of the varnel documentation (make docs)."""
import importlib.metadata
import pathlib
import sys

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent / "_ext"))

project = "varnel"
author = "The varnel developers"
copyright = "2026, The varnel developers"
# The installed distribution's version, which comes from the file VERSION.
release = importlib.metadata.version("varnel")
version = release

extensions = ["sphinx.ext.mathjax", "varnel_stubs"]
root_doc = "index"
exclude_patterns = ["_build"]
default_role = "code"
primary_domain = "py"
highlight_language = "pycon"
pygments_style = "sphinx"

html_theme = "alabaster"
html_title = f"varnel {release}"
html_theme_options = {
    "description": "Complexity measures of Boolean functions",
    "fixed_sidebar": True,
}
html_static_path = []

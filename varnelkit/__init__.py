"""varnelkit: the companion of the ``varnel`` extension module.

``varnel`` holds a Boolean function as its truth table and answers the
measures it was built for, with a fixed surface. ``varnelkit`` adds what
users of a scientific package expect around it: optimal circuits for
five-input functions, a friendly function object, batch APIs, extra measures
and the ``varnel`` command-line tool.
"""

from importlib.metadata import PackageNotFoundError, version as _version

try:
    __version__ = _version("varnel")
except PackageNotFoundError:  # running from a source tree
    __version__ = "0+unknown"

from . import _packed  # noqa: F401  (registers the pickle reducer of Varnel)
from .census import census

__all__ = ["__version__", "census"]

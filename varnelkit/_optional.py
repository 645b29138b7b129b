"""Optional dependencies, imported where they are used."""

from __future__ import annotations

import importlib
from types import ModuleType

__all__ = ["MissingDependency", "require"]


class MissingDependency(ImportError):
    """An optional dependency is not installed; the message names its package."""


def require(module: str, debian_package: str) -> ModuleType:
    """Import ``module``, or fail with one line naming the Debian package."""
    try:
        return importlib.import_module(module)
    except ImportError as exc:
        raise MissingDependency(
            f"this needs the Python module {module.split('.')[0]!r}: "
            f"install the Debian package {debian_package} (apt install {debian_package})"
        ) from exc

"""What the installed distribution carries: the version from its one place,
the licence and the type stubs."""
import importlib.metadata
import pathlib
import re
import tomllib

ROOT = pathlib.Path(__file__).resolve().parents[2]


def test_version_comes_from_the_version_file():
    version = (ROOT / "VERSION").read_text().strip()
    assert re.fullmatch(r"\d+\.\d+\.\d+", version)
    assert importlib.metadata.version("varnel") == version
    project = tomllib.loads((ROOT / "pyproject.toml").read_text())["project"]
    assert "version" not in project and project["dynamic"] == ["version"]
    assert "version : files('VERSION')" in (ROOT / "meson.build").read_text()


def test_distribution_carries_licence_and_stubs():
    files = {str(f) for f in importlib.metadata.files("varnel")}
    assert "varnel-stubs/__init__.pyi" in files
    licence = [f for f in importlib.metadata.files("varnel") if f.name == "LICENSE"]
    assert len(licence) == 1 and licence[0].read_text() == (ROOT / "LICENSE").read_text()
    assert "MIT License" in licence[0].read_text()

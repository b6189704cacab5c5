"""How the C++ sources name each other: every include from the source root,
and the layers below the Python surface blind to it and to the command."""

import re
from pathlib import Path

import pytest

SOURCES = Path(__file__).resolve().parent.parent / "brintel-config" / "src"
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)
# The layers that take and return plain records and texts.
PLAIN_LAYERS = ("schema", "errors", "yaml")

pytestmark = pytest.mark.skipif(not SOURCES.is_dir(), reason="the sources live in the clone, beside tests/")


def includes() -> list[tuple[Path, str]]:
    files = [path for path in SOURCES.rglob("*") if path.suffix in {".c", ".h", ".cpp", ".hpp"}]
    return [(path.relative_to(SOURCES), name) for path in files for name in INCLUDE.findall(path.read_text())]


def test_every_include_names_a_file_from_the_source_root():
    assert includes(), "no include found: the sources moved?"
    assert [(str(path), name) for path, name in includes() if not (SOURCES / name).is_file()] == []


def test_the_plain_layers_know_nothing_of_python_or_the_command():
    crossing = [(str(path), name) for path, name in includes()
                if path.parts[0] in PLAIN_LAYERS and name.split("/")[0] in ("module", "cli")]
    python = [str(path.relative_to(SOURCES)) for layer in PLAIN_LAYERS for path in (SOURCES / layer).rglob("*")
              if path.is_file() and "Python.h" in path.read_text()]
    assert (crossing, python) == ([], [])

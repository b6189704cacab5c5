"""What only a clone has: how the C++ sources name each other (every
include from the source root, and the layers below the Python surface blind
to it: the plain layers to it and to the command, the command to it), and
the git history the operators' guide points into."""

import re
import shutil
import subprocess
from pathlib import Path

import pytest

ROOT = Path(__file__).resolve().parent.parent
SOURCES = ROOT / "brintel-config" / "src"
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)
# What each layer below the Python surface may not include: the plain
# layers take and return records and texts; the command uses them alone.
UNSEEN = dict.fromkeys(("schema", "errors", "yaml"), ("module", "cli")) | {"cli": ("module",)}

pytestmark = pytest.mark.skipif(not SOURCES.is_dir(), reason="the sources live in the clone, beside tests/")


def includes() -> list[tuple[Path, str]]:
    files = [path for path in SOURCES.rglob("*") if path.suffix in {".c", ".h", ".cpp", ".hpp"}]
    return [(path.relative_to(SOURCES), name) for path in files for name in INCLUDE.findall(path.read_text())]


def test_every_include_names_a_file_from_the_source_root():
    assert includes(), "no include found: the sources moved?"
    assert [(str(path), name) for path, name in includes() if not (SOURCES / name).is_file()] == []


def test_the_layers_below_the_python_surface_know_nothing_of_it():
    crossing = [(str(path), name) for path, name in includes()
                if name.split("/")[0] in UNSEEN.get(path.parts[0], ())]
    python = [str(path.relative_to(SOURCES)) for layer in UNSEEN for path in (SOURCES / layer).rglob("*")
              if path.is_file() and "Python.h" in path.read_text()]
    assert (crossing, python) == ([], [])


def git(*arguments: str) -> subprocess.CompletedProcess:
    return subprocess.run(["git", "-C", str(ROOT), *arguments], capture_output=True, text=True)


def test_the_pre_commit_example_names_a_commit_that_has_the_hook():
    """pre-commit checks out the example's `rev`: it must be a commit of
    this repository whose hook definition has the example's hook id."""
    if shutil.which("git") is None or git("rev-parse", "--is-shallow-repository").stdout.strip() != "false":
        pytest.skip("needs git and the whole history of a clone")
    example = re.search(r"^    rev: (\S+)\n    hooks:\n      - id: (\S+)$", (ROOT / "docs" / "operators.md").read_text(),
                        re.M)
    assert example, "no pre-commit example with a rev in docs/operators.md"
    rev, hook_id = example.groups()
    hooks = git("show", f"{rev}:.pre-commit-hooks.yaml")
    assert hooks.returncode == 0, hooks.stderr
    assert f"- id: {hook_id}\n" in hooks.stdout

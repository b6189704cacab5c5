"""The README's examples work as a user runs them: from any directory, with
the module installed and nothing of the clone, and print what they show."""

import os
import stat
from pathlib import Path

import pytest

import readme_examples

README = Path(__file__).resolve().parent.parent / "README.md"


@pytest.mark.skipif(not README.exists(), reason="README.md lives in the clone, beside tests/")
def test_the_examples_run_anywhere_and_print_what_they_show(tmp_path, run_python):
    program = readme_examples.session(README.read_text())
    work, scratch = tmp_path / "cwd", tmp_path / "tmp"
    work.mkdir()
    scratch.mkdir()
    done = run_python(program, cwd=work, env={**os.environ, "TMPDIR": str(scratch)})
    assert (done.returncode, done.stderr) == (0, "")
    assert done.stdout.splitlines() == readme_examples.expected_output(program)
    # The manifest lies in a directory of the user's own, private to them.
    (made,) = scratch.iterdir()
    assert stat.S_IMODE(made.stat().st_mode) == 0o700
    assert made.stat().st_uid == os.getuid()
    assert list(work.iterdir()) == []

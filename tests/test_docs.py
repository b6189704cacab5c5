"""The documentation's examples work as a user runs them: from any
directory, with the package installed and nothing of the clone, and print
what they show."""

import os
import re
import shlex
import stat

import pytest

from command import run
from doc_examples import DOCUMENTS, ROOT, console_runs, expected_output, session, titled_files

pytestmark = pytest.mark.skipif(not DOCUMENTS[0].exists(), reason="the documentation lives in the clone, beside tests/")
TEXTS = {document.relative_to(ROOT).as_posix(): document.read_text() for document in DOCUMENTS if document.exists()}


@pytest.mark.parametrize("name", [name for name, text in TEXTS.items() if session(text)])
def test_the_python_examples_run_anywhere_and_print_what_they_show(tmp_path, run_python, name):
    program = session(TEXTS[name])
    work, scratch = tmp_path / "cwd", tmp_path / "tmp"
    work.mkdir()
    scratch.mkdir()
    done = run_python(program, cwd=work, env={**os.environ, "TMPDIR": str(scratch)})
    assert (done.returncode, done.stderr) == (0, "")
    assert done.stdout.splitlines() == expected_output(program)
    # The manifests lie in directories of the user's own, private to them.
    for made in scratch.iterdir():
        assert (stat.S_IMODE(made.stat().st_mode), made.stat().st_uid) == (0o700, os.getuid())
    assert list(work.iterdir()) == []


@pytest.mark.parametrize("name", [name for name, text in TEXTS.items() if console_runs(text)])
def test_the_command_examples_print_what_they_show(tmp_path, name):
    for file, content in titled_files(TEXTS[name]).items():
        (tmp_path / file).parent.mkdir(parents=True, exist_ok=True)
        (tmp_path / file).write_text(content)
    for command, shown in console_runs(TEXTS[name]):
        program, *arguments = shlex.split(command)
        assert program == "brintel-config"
        assert run(*arguments, cwd=tmp_path).stdout.splitlines() == shown


def test_the_readme_links_to_files_that_exist():
    targets = re.findall(r"\]\(([^)#:]+)[)#]", TEXTS["README.md"])
    assert targets and [target for target in targets if not (ROOT / target).exists()] == []

"""The type stubs installed with the module describe the module itself."""

import subprocess
import sys

import pytest

from conftest import sanitized


@pytest.mark.skipif(sanitized, reason="checks the stubs, not memory; mypy under ASan's runtime only slows")
def test_the_stubs_match_the_built_module(tmp_path):
    # The stubs are the same on every platform; a system's Python without mypy checks the rest.
    pytest.importorskip("mypy.stubtest", reason="mypy (the test extra) is not installed")
    # From an empty directory, so that stubtest finds the installed stub
    # package rather than files of the work tree, and caches in tmp_path.
    done = subprocess.run([sys.executable, "-m", "mypy.stubtest", "brintel_config"],
                          cwd=tmp_path, capture_output=True, text=True, timeout=600)
    assert done.returncode == 0, done.stdout + done.stderr

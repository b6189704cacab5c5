"""What the update tests share: the worked example's reader, the text a
normal update of manifests.manifest() writes, and acting as another user."""

import functools
import os
import pathlib
import signal
import subprocess
import sys
import tempfile
import textwrap
import time

import pytest

from brintel_config import ReaderConfig

from manifests import manifest

TESTS = pathlib.Path(__file__).parent

# For snippets run in a child interpreter: makes llama() importable there.
IMPORT_LLAMA = f"import sys; sys.path.insert(0, {str(TESTS)!r}); from updates import llama\n"


def llama():
    """The reader of the update's worked example."""
    return ReaderConfig(model_name="llama", device="cuda", consumer_group="primary",
                        cuda_visible_devices="0,1", tensor_parallel=2)


@functools.cache
def normal_update_text() -> str:
    """What llama() stored as r1 into manifest() reads as after an
    undisturbed update; what every other way of updating must also write."""
    with tempfile.TemporaryDirectory() as directory:
        path = pathlib.Path(directory) / "manifest.yaml"
        path.write_text(manifest())
        llama().add_to_manifest_yaml(str(path), "r1")
        return path.read_text()


NOBODY = 65534
root_only = pytest.mark.skipif(os.geteuid() != 0, reason="needs root to act as another user")

# Runs the rest of a snippet as the unprivileged user nobody; what it needs
# from the installation is imported first.
AS_NOBODY = IMPORT_LLAMA + f"""
import os
import brintel_config
os.setgroups([])
os.setresgid({NOBODY}, {NOBODY}, {NOBODY})
os.setresuid({NOBODY}, {NOBODY}, {NOBODY})
"""


# Ticks in a thread of its own while the main thread is blocked. A suite run
# as a background job hands SIGINT down ignored, and Python then installs no
# handler for it: the child puts the usual one back.
TICKING = """
import signal, threading, time
signal.signal(signal.SIGINT, signal.default_int_handler)
ticks = 0
def tick():
    global ticks
    while True:
        time.sleep(0.01)
        ticks += 1
threading.Thread(target=tick, daemon=True).start()
print("waiting", flush=True)
"""


def interrupt_while_blocked(code: str, **popen) -> str:
    """Runs TICKING and then `code` in a child, whose main thread is meant to
    block; sends SIGINT a second after the child said "waiting" and returns
    what it printed then, such as "interrupted <ticks>"."""
    child = subprocess.Popen([sys.executable, "-c", TICKING + textwrap.dedent(code)],
                             stdout=subprocess.PIPE, text=True, **popen)
    try:
        assert child.stdout.readline() == "waiting\n"
        time.sleep(1)
        child.send_signal(signal.SIGINT)
        out, _ = child.communicate(timeout=20)
        return out
    finally:
        child.kill()
        child.wait()

import os
import pathlib
import shutil
import subprocess
import sys
import tempfile
import textwrap

import pytest


# Set by `./dev sanitize`: ASan's quarantine holds freed memory back, so
# resident-memory measurements mean nothing there.
sanitized = os.environ.get("BRINTEL_SANITIZED") == "1"
skip_when_sanitized = pytest.mark.skipif(sanitized, reason="memory figures are ASan's own")


@pytest.fixture
def run_python():
    """Runs a snippet in a fresh interpreter; returns its completed process."""

    def run(code: str, **kwargs) -> subprocess.CompletedProcess:
        kwargs.setdefault("timeout", 600)
        kwargs.setdefault("text", True)
        return subprocess.run([sys.executable, "-c", textwrap.dedent(code)], capture_output=True, **kwargs)

    return run


@pytest.fixture(scope="session")
def fault_env(tmp_path_factory):
    """Makes the environment of a child interpreter with faults injected
    (tests/faults/shim.c tells which): fault_env(BRINTEL_FAIL_FLOCK="37")."""
    if sanitized:
        pytest.skip("ASan's own interceptors come first")
    # A root without a compiler (the emulated aarch64 one) gets the shim
    # built elsewhere for its architecture.
    shim = os.environ.get("BRINTEL_FAULT_SHIM")
    if not shim:
        if not shutil.which("cc"):
            pytest.skip("no C compiler to build the fault shim, and no BRINTEL_FAULT_SHIM")
        shim = tmp_path_factory.mktemp("shim") / "shim.so"
        source = pathlib.Path(__file__).parent / "faults" / "shim.c"
        subprocess.run(["cc", "-shared", "-fPIC", "-O1", "-o", str(shim), str(source), "-ldl"], check=True)

    def env(**faults) -> dict:
        return {**os.environ, "LD_PRELOAD": str(shim), **faults}

    return env


@pytest.fixture
def write_manifest(tmp_path):
    """Writes a manifest into a new file under tmp_path; returns its path as str.

    Text is dedented and written as UTF-8; bytes are written unchanged."""
    counter = iter(range(1_000_000))

    def write(content) -> str:
        path = tmp_path / f"manifest-{next(counter)}.yaml"
        if isinstance(content, str):
            content = textwrap.dedent(content).encode()
        path.write_bytes(content)
        return str(path)

    return write


@pytest.fixture
def read_manifest(write_manifest):
    """Reads one reader out of a manifest given as text or bytes."""
    import brintel_config

    def read(content, reader_id="r1"):
        return brintel_config.read_brintel_readers_config(write_manifest(content), reader_id)

    return read


@pytest.fixture
def path_error():
    """The display text of the exception raised by reading `reader_id` from `path`.

    The exception must be the built-in Exception itself with the text as its
    only argument."""
    import brintel_config

    def error(path, reader_id="r1") -> str:
        try:
            brintel_config.read_brintel_readers_config(path, reader_id)
        except Exception as e:
            assert type(e) is Exception, f"{type(e).__name__}: {e}"
            assert e.args == (str(e),)
            return str(e)
        pytest.fail(f"reading {reader_id!r} from {path!r} returned a reader")

    return error


@pytest.fixture
def read_error(write_manifest, path_error):
    """The display text of the exception raised by reading a manifest given as text or bytes."""

    def error(content, reader_id="r1") -> str:
        return path_error(write_manifest(content), reader_id)

    return error


@pytest.fixture
def shared_directory():
    """A directory of root's outside pytest's private tree (which nobody
    cannot reach), mode 0755; removed afterwards whatever its mode."""
    directory = pathlib.Path(tempfile.mkdtemp(prefix="brintel-"))
    directory.chmod(0o755)
    yield directory
    directory.chmod(0o755)
    shutil.rmtree(directory)

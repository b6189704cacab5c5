"""The package as installed: its shared objects, its version and the command's launcher."""

import importlib.metadata
import os
import shutil
import signal
import subprocess
import time
from pathlib import Path

import pytest

import _brintel_config_command
import brintel_config

from command import COMMAND

MODULE = Path(brintel_config.__file__)
SHARED = next((MODULE.parent / "brintel_config.libs").glob("libbrintel_config-shared*.so"))


def exported_symbols(library: Path) -> set[str]:
    if not shutil.which("nm"):
        pytest.skip("nm (binutils) is not installed")
    listing = subprocess.run(["nm", "-D", "--defined-only", str(library)], capture_output=True, text=True, check=True)
    return {line.split()[-1] for line in listing.stdout.splitlines() if line.strip()}


@pytest.mark.parametrize(
    ("library", "symbols"),
    [
        (MODULE, {"PyInit_brintel_config"}),
        (Path(_brintel_config_command.__file__), {"PyInit__brintel_config_command"}),
        # The C++ runtime linked into the shared library stays inside it.
        (SHARED, {"brintel_config_module_init", "brintel_config_command_init"}),
    ],
    ids=["module", "command", "shared library"],
)
def test_each_shared_object_exports_only_its_entries(library, symbols):
    assert exported_symbols(library) == symbols


def test_the_module_and_the_command_share_one_library(run_python):
    result = run_python("""
        import brintel_config, _brintel_config_command
        with open("/proc/self/maps") as maps:
            print("\\n".join(sorted({line.split()[-1] for line in maps if "brintel_config-shared" in line})))
    """)
    assert result.returncode == 0, result.stderr
    assert result.stdout.splitlines() == [str(SHARED.resolve())]


def test_the_version_is_the_distribution_s():
    version = importlib.metadata.version("brintel-config")
    assert version[0].isdigit()
    assert not hasattr(brintel_config, "__version__")
    result = subprocess.run([str(COMMAND), "--version"], capture_output=True, text=True, timeout=600)
    assert (result.returncode, result.stdout, result.stderr) == (0, f"brintel-config {version}\n", "")


def test_a_closed_pipe_ends_the_command_quietly():
    # Nothing reads: the first write of the command meets a pipe without a
    # reader, as under `| head` once head has exited.
    command = subprocess.Popen([str(COMMAND), "schema"], stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    command.stdout.close()
    _, stderr = command.communicate(timeout=600)
    assert (command.returncode, stderr) == (-signal.SIGPIPE, b"")


def test_the_interpreter_gets_its_signal_handling_back_after_the_command(run_python):
    # Ctrl-C after the command is a KeyboardInterrupt again, not the end of the process.
    result = run_python("""
        import os, signal, sys, time, _brintel_config_command
        sys.argv = ["brintel-config", "--version"]
        _brintel_config_command.main()
        try:
            os.kill(os.getpid(), signal.SIGINT)
            time.sleep(10)
        except KeyboardInterrupt:
            print("interrupted", flush=True)
    """)
    assert (result.returncode, result.stdout.splitlines()[-1:]) == (0, ["interrupted"]), result.stderr


def test_interrupt_ends_a_waiting_command_at_once():
    # `check /dev/stdin` waits on a pipe that never gets data. SIGINT must end
    # it as it ends any program, not set a flag that nothing looks at while
    # the command runs; signals that come before the command starts would
    # show a KeyboardInterrupt traceback instead.
    read_end, write_end = os.pipe()
    command = subprocess.Popen([str(COMMAND), "check", "/dev/stdin"], stdin=read_end,
                               stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    os.close(read_end)
    try:
        wait_until_sleeping_with_the_shared_library(command.pid)
        for _ in range(200):
            command.send_signal(signal.SIGINT)
            try:
                _, stderr = command.communicate(timeout=0.05)
                break
            except subprocess.TimeoutExpired:
                pass
    finally:
        os.close(write_end)
        if command.poll() is None:
            command.kill()
            command.wait()
    assert command.returncode == -signal.SIGINT
    assert "KeyboardInterrupt" not in stderr


def wait_until_sleeping_with_the_shared_library(pid: int) -> None:
    """Until the interpreter's start-up is over and the process sleeps."""
    for _ in range(6000):
        with open(f"/proc/{pid}/maps") as maps:
            loaded = "brintel_config-shared" in maps.read()
        with open(f"/proc/{pid}/stat") as stat:
            state = stat.read().rsplit(")", 1)[1].split()[0]
        if loaded and state == "S":
            return
        time.sleep(0.01)
    pytest.fail("the command never came to wait on its input")


SOURCE_TREE = Path(__file__).resolve().parent.parent


@pytest.mark.parametrize(
    ("present", "debian", "rpm"),
    [([], "libyaml-dev", "libyaml-devel"), (["yaml-0.1"], "libutf8proc-dev", "utf8proc-devel")],
    ids=["libyaml", "utf8proc"],
)
def test_a_build_without_a_library_names_the_packages_to_install(tmp_path, present, debian, rpm):
    cmake, pkg_config = shutil.which("cmake"), shutil.which("pkg-config")
    if not cmake or not pkg_config or not (SOURCE_TREE / "CMakeLists.txt").exists():
        pytest.skip("needs cmake, pkg-config and the source tree")
    modules = tmp_path / "pkgconfig"
    modules.mkdir()
    for module in present:
        found = subprocess.run([pkg_config, "--variable=pcfiledir", module], capture_output=True, text=True, check=True)
        shutil.copy(Path(found.stdout.strip()) / f"{module}.pc", modules)
    # Not the sanitizer's preloaded runtime: CMake's compiler checks run programs.
    env = {name: value for name, value in os.environ.items() if name != "LD_PRELOAD"}
    result = subprocess.run([cmake, "-S", str(SOURCE_TREE), "-B", str(tmp_path / "build")],
                            env={**env, "PKG_CONFIG_LIBDIR": str(modules)},
                            capture_output=True, text=True, timeout=600)
    assert result.returncode != 0
    message = " ".join(result.stderr.split())
    assert f"sudo apt-get install {debian} " in message
    assert f"sudo dnf install {rpm} " in message

"""Instructions per call under callgrind: figures that, unlike wall times,
do not move with the machine's load.

Each route runs in a fresh process under valgrind twice, once with one call
and once with three; the difference over two is what one call costs once
the process, the imports and the first call's warm-up are paid for.

As a child (run under valgrind by `measure`):
    python bench/instructions.py ROUTE MANIFEST READER_ID CALLS
"""

import inspect
import operator
import os
import re
import shutil
import subprocess
import sys
import tempfile
from pathlib import Path

sys.path.insert(0, str(Path(__file__).parent))

FEW, MORE = 1, 3

# The routes of the module alone, which `compare_builds` runs with two builds.
MODULE_ROUTES = ("read", "update", "getters", "export")
# A call of the getters route reads every property this many times, one of
# the export route exports this many times.
REPEATS = 1_000


def check(manifest: str) -> None:
    """`brintel-config check MANIFEST`, run in this process as the console
    script runs it."""
    import _brintel_config_command

    sys.argv = ["brintel-config", "check", manifest]
    _brintel_config_command.main()


def run_route(route: str, manifest: str, reader_id: str, calls: int) -> None:
    from brintel_config import ReaderConfig, read_brintel_readers_config

    import routes

    stored = ReaderConfig(model_name="bench", device="cuda", consumer_group="g", tensor_parallel=2)
    # The reader in the middle of the manifest, with eleven of its fields set.
    read = read_brintel_readers_config(manifest, reader_id) if route in ("getters", "export") else stored
    properties = operator.attrgetter(*(name for name, member in vars(ReaderConfig).items()
                                       if inspect.isgetsetdescriptor(member) and not name.startswith("__")))
    actions = {
        "read": lambda: read_brintel_readers_config(manifest, reader_id),
        "check": lambda: check(manifest),
        "pyyaml_read": lambda: routes.pyyaml_lookup(manifest, reader_id),
        "update": lambda: stored.add_to_manifest_yaml(manifest, "new"),
        "pyyaml_update": lambda: routes.pyyaml_update(manifest, "new", stored.dict_without_optionals()),
        "getters": lambda: [properties(read) for _ in range(REPEATS)],
        "export": lambda: [read.dict_without_optionals() for _ in range(REPEATS)],
    }
    for _ in range(calls):
        actions[route]()


def collected(command: list[str], workdir: Path, module_path: str | None) -> int:
    """The instructions callgrind counted in the whole of `command`, with the
    module imported from `module_path` when one is given."""
    env = {**os.environ, "PYTHONHASHSEED": "0"}
    if module_path:
        env["PYTHONPATH"] = module_path
    done = subprocess.run(
        ["valgrind", "--tool=callgrind", f"--callgrind-out-file={workdir / 'callgrind.out'}", *command],
        capture_output=True, text=True, check=True, env=env)
    return int(re.search(r"Collected : (\d+)", done.stderr)[1])


def per_call(command, workdir: Path, module_path: str | None = None) -> int:
    """One call's instructions: `command(calls)` with MORE calls less FEW."""
    return (collected(command(MORE), workdir, module_path)
            - collected(command(FEW), workdir, module_path)) // (MORE - FEW)


def require_valgrind() -> None:
    if shutil.which("valgrind") is None:
        sys.exit("valgrind is needed for instruction counts (apt-get install valgrind)")


def measure_routes(manifest: Path, reader_id: str, routes: tuple[str, ...], workdir: Path,
                   module_path: str | None = None) -> dict[str, int]:
    counts = {}
    for route in routes:
        copy = workdir / "manifest.yaml"
        shutil.copy(manifest, copy)  # the updates rewrite it
        counts[route] = per_call(
            lambda calls: [sys.executable, __file__, route, str(copy), reader_id, str(calls)], workdir, module_path)
    return counts


def measure(manifest: Path, reader_id: str, bare_parse: str) -> dict[str, int]:
    require_valgrind()
    with tempfile.TemporaryDirectory() as scratch:
        workdir = Path(scratch)
        counts = {"bare": per_call(lambda calls: [bare_parse, str(manifest), str(calls)], workdir)}
        counts.update(measure_routes(manifest, reader_id, ("read", "check", "pyyaml_read", "update", "pyyaml_update"),
                                     workdir))
    return counts


def compare_builds(manifest: Path, reader_id: str, other: str) -> dict[str, tuple[int, int]]:
    """The module's routes with the build installed here and with the one
    importable from the directory `other`: (here, other) per route."""
    require_valgrind()
    with tempfile.TemporaryDirectory() as scratch:
        workdir = Path(scratch)
        here = measure_routes(manifest, reader_id, MODULE_ROUTES, workdir)
        there = measure_routes(manifest, reader_id, MODULE_ROUTES, workdir, other)
    return {route: (here[route], there[route]) for route in MODULE_ROUTES}


def print_comparison(readers: int, counts: dict[str, tuple[int, int]], names: tuple[str, str]) -> None:
    print(f"Instructions per call under callgrind, {readers:,} readers (millions; getters: every property "
          f"{REPEATS:,} times, export: {REPEATS:,} exports):")
    print(f"| route | {names[0]} | {names[1]} | {names[1]} / {names[0]} |")
    print("|---|---|---|---|")
    for route, (here, there) in counts.items():
        print(f"| {route} | {here / 1e6:.1f} | {there / 1e6:.1f} | {(there / here - 1) * 100:+.2f} % |")


def print_counts(readers: int, counts: dict[str, int]) -> None:
    millions = {route: count / 1e6 for route, count in counts.items()}
    print(f"Instructions per call under callgrind, {readers:,} readers (millions):")
    print("| read | libyaml parse | read / parse | check | check / read | PyYAML read | PyYAML / read "
          "| update | PyYAML update | PyYAML update / update |")
    print("|" + "---|" * 10)
    print(f"| {millions['read']:.1f} | {millions['bare']:.1f} | {counts['read'] / counts['bare']:.2f}x "
          f"| {millions['check']:.1f} | {counts['check'] / counts['read']:.2f}x "
          f"| {millions['pyyaml_read']:.1f} | {counts['pyyaml_read'] / counts['read']:.1f}x "
          f"| {millions['update']:.1f} | {millions['pyyaml_update']:.1f} "
          f"| {counts['pyyaml_update'] / counts['update']:.1f}x |")


if __name__ == "__main__":
    route, manifest, reader_id, calls = sys.argv[1:]
    run_route(route, manifest, reader_id, int(calls))

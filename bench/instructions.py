"""Instructions per call under callgrind: figures that, unlike wall times,
do not move with the machine's load.

Each route runs in a fresh process under valgrind twice, once with one call
and once with three; the difference over two is what one call costs once
the process, the imports and the first call's warm-up are paid for.

As a child (run under valgrind by `measure`):
    python bench/instructions.py ROUTE MANIFEST READER_ID CALLS
"""

import os
import re
import shutil
import subprocess
import sys
import tempfile
from pathlib import Path

sys.path.insert(0, str(Path(__file__).parent))

FEW, MORE = 1, 3


def run_route(route: str, manifest: str, reader_id: str, calls: int) -> None:
    from brintel_config import ReaderConfig, read_brintel_readers_config

    import routes

    stored = ReaderConfig(model_name="bench", device="cuda", consumer_group="g", tensor_parallel=2)
    actions = {
        "read": lambda: read_brintel_readers_config(manifest, reader_id),
        "pyyaml_read": lambda: routes.pyyaml_lookup(manifest, reader_id),
        "update": lambda: stored.add_to_manifest_yaml(manifest, "new"),
        "pyyaml_update": lambda: routes.pyyaml_update(manifest, "new", stored.dict_without_optionals()),
    }
    for _ in range(calls):
        actions[route]()


def collected(command: list[str], workdir: Path) -> int:
    """The instructions callgrind counted in the whole of `command`."""
    done = subprocess.run(
        ["valgrind", "--tool=callgrind", f"--callgrind-out-file={workdir / 'callgrind.out'}", *command],
        capture_output=True, text=True, check=True, env={**os.environ, "PYTHONHASHSEED": "0"})
    return int(re.search(r"Collected : (\d+)", done.stderr)[1])


def per_call(command, workdir: Path) -> int:
    """One call's instructions: `command(calls)` with MORE calls less FEW."""
    return (collected(command(MORE), workdir) - collected(command(FEW), workdir)) // (MORE - FEW)


def measure(manifest: Path, reader_id: str, bare_parse: str) -> dict[str, int]:
    if shutil.which("valgrind") is None:
        sys.exit("valgrind is needed for instruction counts (apt-get install valgrind)")
    counts = {}
    with tempfile.TemporaryDirectory() as scratch:
        workdir = Path(scratch)
        counts["bare"] = per_call(lambda calls: [bare_parse, str(manifest), str(calls)], workdir)
        for route in ("read", "pyyaml_read", "update", "pyyaml_update"):
            copy = workdir / "manifest.yaml"
            shutil.copy(manifest, copy)  # the updates rewrite it
            counts[route] = per_call(
                lambda calls: [sys.executable, __file__, route, str(copy), reader_id, str(calls)], workdir)
    return counts


def print_counts(readers: int, counts: dict[str, int]) -> None:
    millions = {route: count / 1e6 for route, count in counts.items()}
    print(f"Instructions per call under callgrind, {readers:,} readers (millions):")
    print("| read | libyaml parse | read / parse | PyYAML read | PyYAML / read "
          "| update | PyYAML update | PyYAML update / update |")
    print("|" + "---|" * 8)
    print(f"| {millions['read']:.1f} | {millions['bare']:.1f} | {counts['read'] / counts['bare']:.2f}x "
          f"| {millions['pyyaml_read']:.1f} | {counts['pyyaml_read'] / counts['read']:.1f}x "
          f"| {millions['update']:.1f} | {millions['pyyaml_update']:.1f} "
          f"| {counts['pyyaml_update'] / counts['update']:.1f}x |")


if __name__ == "__main__":
    route, manifest, reader_id, calls = sys.argv[1:]
    run_route(route, manifest, reader_id, int(calls))

"""Times reading and storing a reader against libyaml's bare parse and the
PyYAML routes users would otherwise take.

usage: python bench/run.py BARE_PARSE [--sizes 10,1000,10000,100000] [--smoke]
       python bench/run.py BARE_PARSE --instructions [--sizes 1000] [--wheel WHEEL]

BARE_PARSE is the compiled bench/bare_parse.cpp (`./dev bench` builds it).
"""

import argparse
import ctypes
import gc
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time
from collections.abc import Callable
from pathlib import Path

sys.path.insert(0, str(Path(__file__).parent))
import generate  # noqa: E402
import instructions  # noqa: E402
from routes import pyyaml_lookup, pyyaml_update  # noqa: E402

from pydantic import BaseModel  # noqa: E402

from brintel_config import ReaderConfig, read_brintel_readers_config  # noqa: E402


class PydanticReader(BaseModel):
    """What a user would write by hand for one reader."""

    model_name: str
    device: str
    consumer_group: str
    redis_host: str | None = None
    internal_gateway_ip: str | None = None
    access_token: str | None = None
    log_level: str | None = None
    backend: str | None = None
    cuda_visible_devices: str | None = None
    max_batch_size: int | None = None
    batch_duration_millis: int | None = None
    tensor_parallel: int | None = None
    quant_type: str | None = None
    max_sequence_length: int | None = None
    nvlink_unavailable: int | None = None
    disable_static: int | None = None
    disable_cuda_graph: int | None = None
    cuda_graph_cache_capacity: int | None = None
    disable_paged_attention: int | None = None
    page_cache_size: str | None = None


LIBC = ctypes.CDLL(None)


def timed(action: Callable[[], object], calls: int) -> Callable[[], float]:
    """One sample of a route: the median time of `calls` calls in a row.

    The memory the previous route freed goes back to the system first:
    otherwise a route that follows one of its own kind (PyYAML + pydantic
    after PyYAML) finds a heap already grown to the size it needs and runs
    faster than the route before it."""

    def sample() -> float:
        gc.collect()
        LIBC.malloc_trim(0)
        times = []
        for _ in range(calls):
            start = time.perf_counter()
            action()
            times.append(time.perf_counter() - start)
        return statistics.median(times)

    return sample


def in_rotation(routes: dict[str, Callable[[], float]], rounds: int) -> dict[str, float]:
    """The median sample of every route. Each round takes one sample of each
    route, starting one route further than the round before, so that the
    machine's drifts (frequency, neighbours, caches) reach every route alike
    and no route is always the first of a round."""
    names = list(routes)
    samples: dict[str, list[float]] = {name: [] for name in names}
    for number in range(rounds):
        start = number % len(names)
        for name in names[start:] + names[:start]:
            samples[name].append(routes[name]())
    return {name: statistics.median(times) for name, times in samples.items()}


# VmHWM rather than ru_maxrss: the latter carries the parent's peak across
# fork and exec.
PEAK = """
import sys
from brintel_config import read_brintel_readers_config
def status_kib(key):
    with open("/proc/self/status") as f:
        return next(int(line.split()[1]) for line in f if line.startswith(key))
before = status_kib("VmRSS:")
read_brintel_readers_config(sys.argv[1], sys.argv[2])
print(status_kib("VmHWM:") - before)
"""


def peak_extra_kib(path: str, reader_id: str) -> int:
    out = subprocess.run([sys.executable, "-c", PEAK, path, reader_id], check=True,
                         capture_output=True, text=True).stdout
    return int(out)


# Rounds per size, and calls per sample: a single PyYAML call lasts seconds
# from 10,000 readers on.
def rounds_and_calls(readers: int, smoke: bool) -> tuple[int, int]:
    if smoke:
        return 3, 3
    if readers <= 1_000:
        return 21, 3
    return (11 if readers <= 10_000 else 5), 1


def measure(size: int, bare_parse: str, workdir: Path, smoke: bool) -> dict:
    path = workdir / f"manifest-{size}.yaml"
    path.write_text(generate.manifest_text(size))
    name, reader_id = str(path), generate.reader_id(size)
    ours_copy, theirs_copy = workdir / "ours.yaml", workdir / "theirs.yaml"
    shutil.copy(path, ours_copy)
    shutil.copy(path, theirs_copy)
    record = ReaderConfig(model_name="bench", device="cuda", consumer_group="g", tensor_parallel=2)
    plain = record.dict_without_optionals()
    rounds, calls = rounds_and_calls(size, smoke)
    row = in_rotation({
        "ours": timed(lambda: read_brintel_readers_config(name, reader_id), calls),
        # The bare parse times its own runs, without the process start.
        "bare": lambda: float(subprocess.run([bare_parse, name, str(calls)], check=True,
                                             capture_output=True, text=True).stdout),
        "pyyaml": timed(lambda: pyyaml_lookup(name, reader_id), calls),
        "pydantic": timed(lambda: PydanticReader.model_validate(pyyaml_lookup(name, reader_id)), calls),
        "update": timed(lambda: record.add_to_manifest_yaml(str(ours_copy), "new"), calls),
        "pyyaml_update": timed(lambda: pyyaml_update(str(theirs_copy), "new", plain), calls),
    }, rounds)
    row.update(readers=size, bytes=path.stat().st_size, peak_kib=peak_extra_kib(name, reader_id))
    return row


def print_table(rows: list[dict]) -> None:
    ms = lambda seconds: f"{seconds * 1000:.2f}"  # noqa: E731
    print("| readers | file MB | read ms | libyaml parse ms | read / parse | PyYAML ms | "
          "PyYAML / read | PyYAML+pydantic ms | peak extra MB | peak / file | update ms | "
          "PyYAML update ms | PyYAML update / update |")
    print("|" + "---|" * 13)
    for r in rows:
        mb = r["bytes"] / 1e6
        print(f"| {r['readers']:,} | {mb:.2f} | {ms(r['ours'])} | {ms(r['bare'])} | "
              f"{r['ours'] / r['bare']:.2f}x | {ms(r['pyyaml'])} | {r['pyyaml'] / r['ours']:.1f}x | "
              f"{ms(r['pydantic'])} | {r['peak_kib'] / 1024:.1f} | {r['peak_kib'] * 1024 / r['bytes']:.2f}x | "
              f"{ms(r['update'])} | {ms(r['pyyaml_update'])} | {r['pyyaml_update'] / r['update']:.1f}x |")


def load_average() -> str:
    """The machine's load, which wall times depend on."""
    return " ".join(Path("/proc/loadavg").read_text().split()[:3])


def count_instructions(bare_parse: str, sizes: str) -> int:
    with tempfile.TemporaryDirectory() as workdir:
        for size in (int(s) for s in sizes.split(",")):
            path = Path(workdir) / f"manifest-{size}.yaml"
            path.write_text(generate.manifest_text(size))
            instructions.print_counts(size, instructions.measure(path, generate.reader_id(size), bare_parse))
    return 0


def compare_with_wheel(wheel: str, sizes: str) -> int:
    """The module's routes with this build and with `wheel`, which is
    unpacked into a directory of its own and imported from there."""
    with tempfile.TemporaryDirectory() as workdir:
        unpacked = Path(workdir) / "wheel"
        subprocess.run([sys.executable, "-m", "pip", "install", "-q", "--no-deps", "--target", str(unpacked), wheel],
                       check=True)
        for size in (int(s) for s in sizes.split(",")):
            path = Path(workdir) / f"manifest-{size}.yaml"
            path.write_text(generate.manifest_text(size))
            counts = instructions.compare_builds(path, generate.reader_id(size), str(unpacked))
            instructions.print_comparison(size, counts, ("this build", "wheel"))
    return 0


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("bare_parse")
    parser.add_argument("--sizes", help="numbers of readers, comma-separated (default 10,1000,10000,100000)")
    parser.add_argument("--smoke", action="store_true", help="smallest size, few runs")
    parser.add_argument("--instructions", action="store_true",
                        help="instructions per call under callgrind instead of times (1,000 readers by default)")
    parser.add_argument("--wheel", help="with --instructions: the module's own routes (read, update, getters, "
                                        "export) with this build and with the given wheel")
    args = parser.parse_args()
    sys.stdout.reconfigure(line_buffering=True)  # each size's figures as soon as they are known, even into a pipe
    if args.wheel and not args.instructions:
        parser.error("--wheel goes with --instructions")
    if args.instructions and args.wheel:
        return compare_with_wheel(args.wheel, args.sizes or "1000")
    if args.instructions:
        return count_instructions(args.bare_parse, args.sizes or "1000")
    sizes = [10] if args.smoke else [int(s) for s in (args.sizes or "10,1000,10000,100000").split(",")]
    load_before = load_average()
    with tempfile.TemporaryDirectory() as workdir:
        rows = [measure(size, args.bare_parse, Path(workdir), args.smoke) for size in sizes]
    print(f"Python {sys.version.split()[0]}, {os.cpu_count()} cores; "
          + ("smoke run: 3 rounds" if args.smoke else
             "medians of 21 rounds (11 at 10,000 readers, 5 at 100,000)")
          + ", each timing every route in turn, in rotating order, as the median of 3 calls"
            " (a single call from 10,000 readers on)")
    print(f"Load average (1, 5, 15 minutes): {load_before} before the run, {load_average()} after it")
    print_table(rows)
    return 0


if __name__ == "__main__":
    sys.exit(main())

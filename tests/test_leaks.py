"""Resident memory stays flat when entry points run many times."""

import os

import pytest

from conftest import skip_when_sanitized

MEASURE = """
import gc, os, tempfile, brintel_config
from brintel_config import ReaderConfig, read_brintel_readers_config
from manifests import manifest

directory = tempfile.mkdtemp()
good = os.path.join(directory, "good.yaml")
store = os.path.join(directory, "store.yaml")
bad = os.path.join(directory, "bad.yaml")
with open(good, "w") as f:
    f.write(manifest("r1: {model_name: m, device: gpu, consumer_group: g, tensor_parallel: 3}"))
with open(store, "w") as f:
    f.write(manifest())
with open(bad, "w") as f:
    f.write("brintel: {server_config: {}, readers_config: {r1: {model_name: [1]}}}")

def rss_kib():
    with open("/proc/self/statm") as f:
        return int(f.read().split()[1]) * 4

FIELDS = [n for n in vars(ReaderConfig) if not n.startswith("_")]

def work(rounds):
    for i in range(rounds):
        # The cycles the bodies make are the collector's: a free-threaded
        # build collects them seldom, and its allocator keeps the peak.
        if i % 1000 == 0:
            gc.collect()
{body}

def expect(error, call, *args, **kwargs):
    try:
        call(*args, **kwargs)
    except error:
        return
    raise AssertionError("no " + error.__name__)

work(ROUNDS // 10)  # warm-up: caches, freelists, arenas
gc.collect()
before = rss_kib()
work(ROUNDS)
gc.collect()
print(rss_kib() - before)
"""

BODIES = {
    "constructor-and-getters": """
        r = ReaderConfig(model_name="m" * 64, device="cuda", consumer_group="g" * 64,
                         log_level="info", cuda_visible_devices="0,1", max_batch_size=2**64 - 1,
                         tensor_parallel=2, max_sequence_length=4096)
        for name in FIELDS:
            getattr(r, name)
        r.note = r  # a cycle through the instance dictionary
""",
    "constructor-refusals": """
        for kwargs in ({"model_name": "m"}, {"device": "cpu"}, {"model_name": 5},
                       {"tensor_parallel": -1}, {"max_batch_size": 1.5}, {"log_level": None}):
            try:
                ReaderConfig(**kwargs)
            except (TypeError, OverflowError):
                pass
        try:
            ReaderConfig("positional")
        except TypeError:
            pass
""",
    "methods": """
        r = read_brintel_readers_config(good, "r1")
        r.dict_without_optionals()
        expect(Exception, r.validate)
        ReaderConfig(model_name="m", device="cpu").validate()
        expect(TypeError, r.dict_without_optionals, 1)
""",
    "reader-function-errors": """
        expect(Exception, read_brintel_readers_config, good, "r2")
        expect(Exception, read_brintel_readers_config, bad, "r1")
        expect(Exception, read_brintel_readers_config, directory + "/missing", "r1")
        expect(TypeError, read_brintel_readers_config, good, None)
        expect(TypeError, read_brintel_readers_config, good, "r1", "x")
        expect(TypeError, read_brintel_readers_config, path=good, colour=1)
""",
    "update": """
        r = ReaderConfig(model_name="m" * 64, device="cpu")
        r.add_to_manifest_yaml(store, "r1")
        expect(Exception, r.add_to_manifest_yaml, bad, "r1")
        expect(Exception, r.add_to_manifest_yaml, directory + "/missing", "r1")
        expect(TypeError, r.add_to_manifest_yaml, store)
        expect(TypeError, r.add_to_manifest_yaml, store, 5)
""",
}

ROUNDS = {"update": 3_000, "methods": 50_000, "reader-function-errors": 20_000}


@skip_when_sanitized
@pytest.mark.parametrize("name", BODIES)
def test_resident_memory_stays_flat(run_python, name):
    body = BODIES[name]
    code = MEASURE.replace("{body}", body).replace("ROUNDS", str(ROUNDS.get(name, 200_000)))
    result = run_python(code, cwd=os.path.dirname(__file__))
    assert result.returncode == 0, result.stderr
    growth_kib = int(result.stdout.strip())
    # Flat runs grow by well under 100 KiB; one leaked object per round,
    # even over the 3,000 rounds of an update, is several hundred.
    assert growth_kib < 512, f"resident memory grew by {growth_kib} KiB"

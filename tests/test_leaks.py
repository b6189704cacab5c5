"""Resident memory stays flat when entry points run many times."""

import pytest

from conftest import skip_when_sanitized

MEASURE = """
import gc, brintel_config
from brintel_config import ReaderConfig

def rss_kib():
    with open("/proc/self/statm") as f:
        return int(f.read().split()[1]) * 4

FIELDS = [n for n in vars(ReaderConfig) if not n.startswith("_")]

def work(rounds):
    for _ in range(rounds):
{body}

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
}


@skip_when_sanitized
@pytest.mark.parametrize("name", BODIES)
def test_resident_memory_stays_flat(run_python, name):
    body = BODIES[name]
    code = MEASURE.replace("{body}", body).replace("ROUNDS", "200_000")
    result = run_python(code)
    assert result.returncode == 0, result.stderr
    growth_kib = int(result.stdout.strip())
    # One leaked 64-byte string per round alone would be 12 MiB.
    assert growth_kib < 2048, f"resident memory grew by {growth_kib} KiB"

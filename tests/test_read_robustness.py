"""Reading never crashes or hangs: a YAML corpus and hostile manifests, each
read in a fresh interpreter so that a crash shows as a failed process (the
subprocess timeout is only a hang guard)."""

import json
import pathlib
import random
import textwrap

import pytest

from manifests import EVERY_FIELD_TEXTS, EVERY_FIELD_VALUES, FIELDS, S, every_field, manifest

# The inputs of the YAML test suite (MIT, see its LICENSE file there).
CORPUS = pathlib.Path(__file__).resolve().parent / "data" / "yaml-corpus"
PREFIXES = (S, "File Not Found on path: ", "Invalid Value: ")

# Standard input: the reader id, then one path per line. Standard output:
# one JSON line per path, ["ok", model_name, max_batch_size] or
# ["error", exception class name, text].
READ_ALL = """
import json, sys
import brintel_config
reader_id, *paths = sys.stdin.read().split("\\n")
for path in paths:
    try:
        r = brintel_config.read_brintel_readers_config(path, reader_id)
        print(json.dumps(["ok", r.model_name, r.max_batch_size]), flush=True)
    except Exception as e:
        print(json.dumps(["error", type(e).__qualname__, str(e)]), flush=True)
"""


@pytest.fixture
def read_all(run_python):
    """Reads every path in one fresh interpreter; returns one outcome per path.

    Every read must return a reader or raise the built-in Exception with one
    of the display prefixes."""

    def read(paths, reader_id="r1"):
        done = run_python(READ_ALL, input="\n".join([reader_id, *map(str, paths)]))
        assert done.returncode == 0, done.stderr[-3000:]
        outcomes = [json.loads(line) for line in done.stdout.splitlines()]
        assert len(outcomes) == len(paths)
        for path, outcome in zip(paths, outcomes):
            if outcome[0] == "error":
                assert outcome[1] == "Exception" and outcome[2].startswith(PREFIXES), (path, outcome[:2])
        return outcomes

    return read


def test_yaml_corpus(read_all):
    rows = [line.split("\t") for line in (CORPUS / "INDEX.tsv").read_text().splitlines()[1:] if line]
    assert len(rows) == len(list(CORPUS.glob("*.yaml"))) > 0
    outcomes = read_all([CORPUS / f"{case_id}.yaml" for case_id, _, _ in rows])
    for (case_id, fail, name), outcome in zip(rows, outcomes):
        if fail == "true":  # malformed YAML can never yield a reader
            assert outcome[0] == "error", (case_id, name, outcome)


COMPLETE_SEED = pathlib.Path(__file__).resolve().parent.parent / "fuzz" / "seeds" / "complete-manifest.yaml"


@pytest.mark.skipif(not COMPLETE_SEED.exists(), reason="the fuzz seeds live in the clone, beside tests/")
def test_the_complete_fuzz_seed_is_the_every_field_manifest():
    # The fuzzers read it as a file, written out from the field table.
    assert COMPLETE_SEED.read_text() == manifest(every_field()), \
        "write it anew: python tests/manifests.py > fuzz/seeds/complete-manifest.yaml"


HEAD = """\
brintel:
  server_config: {}
  readers_config:
    r1: {model_name: m, device: cpu, consumer_group: g, max_batch_size: 7}
"""
DEPTH = 100_000
LIMIT = 1_000  # deeper nesting is refused: libyaml's flow scanning is quadratic in depth


# The root and the brintel entry are two levels, so the (LIMIT - 1)th
# bracket of a value under brintel is the first too many.
def too_deep(line, column):
    return ["error", "Exception", S + f"nesting deeper than {LIMIT} levels at line {line} column {column}"]


@pytest.mark.parametrize("nest, refusal", [
    (lambda: "  deep: " + "[" * DEPTH + "]" * DEPTH + "\n", too_deep(5, 9 + LIMIT - 2)),
    (lambda: "  deep:\n    " + "- " * DEPTH + "x\n", too_deep(6, 5 + 2 * (LIMIT - 2))),
    (lambda: "  deep:\n    " + "? " * DEPTH + "x\n", too_deep(6, 5 + 2 * (LIMIT - 2))),
    (lambda: "  deep: " + "{a: " * DEPTH + "b" + "}" * DEPTH + "\n", too_deep(5, 9 + 4 * (LIMIT - 2))),
    (lambda: "  deep:\n" + "".join(" " * (4 + i) + "k:\n" for i in range(3_000)), too_deep(6 + LIMIT - 2, 4 + LIMIT - 1)),
    (lambda: "  deep: " + "[" * 900 + "]" * 900 + "\n", ["ok", "m", 7]),
    (lambda: "  deep:\n" + "".join(" " * (4 + i) + "k:\n" for i in range(900)) + " " * 904 + "x\n", ["ok", "m", 7]),
], ids=["flow-sequences", "block-sequences", "block-mappings", "flow-mappings", "indented-mappings",
        "flow-within-limit", "block-within-limit"])
def test_deep_nesting_under_an_unknown_key(write_manifest, read_all, nest, refusal):
    assert read_all([write_manifest((HEAD + nest()).encode())]) == [refusal]


def test_deep_nesting_where_a_value_is_read(write_manifest, read_all):
    manifest = HEAD + "    r2: {model_name: " + "[" * 500 + "]" * 500 + "}\n"
    [outcome] = read_all([write_manifest(manifest.encode())], "r2")
    assert outcome == ["error", "Exception",
                       S + "brintel.readers_config.r2.model_name: invalid type: sequence, expected a string"
                       " at line 5 column 22"]


def test_unclosed_deep_nesting(write_manifest, read_all):
    [outcome] = read_all([write_manifest((HEAD + "  deep: " + "[" * 20_000 + "\n").encode())])
    assert outcome == too_deep(5, 9 + LIMIT - 2)


def test_alias_bombs(write_manifest, read_all):
    # Anchors of ten aliases each, thirty levels deep, under an unknown key:
    # never followed, so nothing is expanded.
    laughs = ["  lol0: &a0 [x, x, x, x, x, x, x, x, x, x]"]
    laughs += [f"  lol{i}: &a{i} [" + ", ".join([f"*a{i - 1}"] * 10) + "]" for i in range(1, 30)]
    # The same anchors read as reader fields: followed until the jump limit.
    fields = ["device", "consumer_group", "redis_host", "log_level", "backend", "quant_type"]
    followed = ["brintel:", "  server_config: {}", "  readers_config: &m", "    r0: &r",
                "      model_name: &s m"] + [f"      {f}: *s" for f in fields]
    followed += [f"    r{i}: *r" for i in range(1, 2_000)]
    followed += [f"k{i}: {{server_config: {{}}, readers_config: *m}}" for i in range(2_000)]
    outcomes = read_all([write_manifest((HEAD + "\n".join(laughs) + "\n").encode()),
                         write_manifest(("\n".join(followed) + "\n").encode())])
    assert outcomes == [["ok", "m", 7], ["error", "Exception", S + "repetition limit exceeded"]]


def test_aliases_of_a_5mib_text_count_its_whole_length(write_manifest, read_all):
    # 55 replays of 5 MiB pass the limit of 256 MiB; 55 of 4 MiB would not.
    readers = [f"    r{i}: {{model_name: *big, device: cpu, consumer_group: g}}" for i in range(2, 57)]
    manifest = HEAD.replace("model_name: m", "model_name: &big " + "m" * (5 << 20)) + "\n".join(readers) + "\n"
    assert read_all([write_manifest(manifest.encode())]) == [["error", "Exception", S + "repetition limit exceeded"]]


def test_many_aliases_to_a_large_anchored_reader(write_manifest, read_all):
    # 1,999 jumps against more than 8,000 events: far below the jump limit,
    # although every jump reads the 2,000 unknown keys of the anchored reader.
    lines = ["brintel:", "  server_config: {}", "  readers_config:", "    r0: &r",
             "      model_name: big", "      device: cpu", "      consumer_group: g", "      max_batch_size: 3"]
    lines += [f"      u{i}: 0" for i in range(2_000)]
    lines += [f"    r{i}: *r" for i in range(1, 2_000)]
    assert read_all([write_manifest(("\n".join(lines) + "\n").encode())], "r1999") == [["ok", "big", 3]]


# Every field set; the texts that tell readers apart are numbered.
NUMBERED = {"model_name": "model-{i}", "consumer_group": "group-{i}", "access_token": "token-{i}",
            "max_batch_size": "{i}"}
READER = textwrap.indent(every_field({**EVERY_FIELD_TEXTS, **NUMBERED}, "r{i}"), "    ")


def test_large_manifest(write_manifest, run_python):
    text = "brintel:\n  server_config: {port: 8080}\n  readers_config:\n" + "".join(
        READER.format(i=i) for i in range(100_000))
    assert len(text) > 50_000_000
    path = write_manifest(text.encode())
    done = run_python(f"""
        import brintel_config, json
        r = brintel_config.read_brintel_readers_config({path!r}, "r77777")
        print(json.dumps({{name: getattr(r, name) for name in {FIELDS!r}}}))
        """)
    assert done.returncode == 0, done.stderr[-3000:]
    assert json.loads(done.stdout) == {**EVERY_FIELD_VALUES, "model_name": "model-77777", "consumer_group": "group-77777",
                                       "access_token": "token-77777", "max_batch_size": 77777}


def test_random_bytes_and_mutated_manifests(write_manifest, read_all):
    rng = random.Random(20240611)
    valid = HEAD.encode()
    alphabet = b" \n\t:-?[]{},&*!|>'\"#%@`~0123456789abcrnul.\\\x00\xc3\xa9\xff"
    blobs = [bytes(rng.randrange(256) for _ in range(rng.randrange(1, 300))) for _ in range(150)]
    blobs += [bytes(rng.choice(alphabet) for _ in range(rng.randrange(1, 300))) for _ in range(150)]
    for _ in range(300):
        blob = bytearray(valid)
        for _ in range(rng.randrange(1, 4)):
            at = rng.randrange(len(blob))
            action = rng.randrange(3)
            if action == 0:
                blob[at] = rng.choice(alphabet)
            elif action == 1:
                del blob[at]
            else:
                blob.insert(at, rng.choice(alphabet))
        blobs.append(bytes(blob))
    outcomes = read_all([write_manifest(blob) for blob in blobs])
    assert any(outcome[0] == "ok" for outcome in outcomes)


@pytest.mark.parametrize("content, expected", [
    (b"brintel:\x00\n", ["error", "Exception", S + "control characters are not allowed at position 8"]),
    (b"\xef\xbb\xbf" + HEAD.encode(), ["ok", "m", 7]),
    (HEAD.replace("\n", "\r\n").encode(), ["ok", "m", 7]),
    (HEAD.replace("\n", "\r\n").encode() + b"    r2: [x]\r\n",
     ["error", "Exception", S + "brintel.readers_config.r2: invalid type: sequence, expected struct ReaderConfig"
                                " at line 5 column 9"]),
    (HEAD.replace("model_name: m", "model_name: " + "m" * 1_000_000).encode(), ["ok", "m" * 1_000_000, 7]),
    (HEAD.replace("max_batch_size: 7", "max_batch_size: '" + "9" * 1_000_000 + "'").encode(),
     ["error", "Exception", S + 'brintel.readers_config.r1.max_batch_size: invalid type: string "'
                                + "9" * 1_000_000 + '", expected u64 at line 4 column 73']),
    # longer than an event holds a length for
    (HEAD.replace("model_name: m", "model_name: " + "m" * (5 << 20)).encode(), ["ok", "m" * (5 << 20), 7]),
], ids=["nul", "byte-order-mark", "crlf", "crlf-position", "1mb-string", "1mb-in-number", "5mib-string"])
def test_odd_bytes(write_manifest, read_all, content, expected):
    assert read_all([write_manifest(content)]) == [expected]

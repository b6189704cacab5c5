"""The brintel-config command installed beside the interpreter."""

import importlib.metadata
import json
import os
import pty
import re
import shutil
import signal
import textwrap
import subprocess
import urllib.parse
from pathlib import Path

import jsonschema
import pytest
import yaml
from hypothesis import HealthCheck, given, settings
from hypothesis import strategies as st

from brintel_config import read_brintel_readers_config
from command import COMMAND, EXAMPLE, module_error, one_reader, position, run, schema_validator, write
from manifests import FIELDS, S, every_field, fields_of as fields_of_reader, manifest
from manifests import COUNT_REASON as COUNT, CPU_PARALLEL_REASON as CPU_PARALLEL, DEVICE_REASON as DEVICE
from manifests import LIST_REASON as LIST, ODD_REASON as ODD

ROOT = Path(__file__).resolve().parent.parent

# The rules whose findings say that reading refuses the manifest.
READING_RULES = {"syntax", "no-product-key", "wrong-type", "missing-field", "duplicate-field"}
WARNING_RULES = {"unknown-key", "duplicate-key", "merge-key", "bad-suppression", "unused-suppression"}


def test_the_example_manifest_is_sound():
    result = run("check", EXAMPLE)
    assert (result.returncode, result.stdout, result.stderr) == (0, "", "")


SHARED = """\
brintel:
  server_config:
  readers_config:
    r1: &shared
      model_name: m
      &key device: gpu
      consumer_group: g
      Tensor_Parallel: 2
    r2: *shared
    r3: {model_name: m, device: cpu, consumer_group: g}
    r3: {model_name: m, *key : tpu, consumer_group: g}
"""

DROPPED_FOR_9_5 = " (reading drops this entry for the later one at line 9 column 5)"
OTHER = "other: {server_config: {}, readers_config: {}}\n"
TAKEN = " (in `brintl`, checked as if it were `brintel`)"

MISSPELT_REQUIRED = "brintel:\n  server_config: {}\n  readers_config:\n    r1:\n      model_name: m\n" \
                    "      devcie: cuda\n      consumer_group: g\n"

# Manifests, and check's findings as "LINE:COLUMN: SEVERITY: MESSAGE [RULE]".
FINDINGS = {
    "sound": (one_reader("tensor_parallel: 2", 'cuda_visible_devices: "0,1"'), []),
    "no readers": (manifest(), []),
    "validation at the value": (
        one_reader(device="gpu"), [f"6:15: error: brintel.readers_config.r1.device: {DEVICE} [validation]"]),
    "findings at one value in rule order": (
        one_reader("tensor_parallel: 3", "cuda_visible_devices: a", device="cpu"),
        [f"8:24: error: brintel.readers_config.r1.tensor_parallel: {reason} [validation]"
         for reason in (CPU_PARALLEL, COUNT, ODD)]
        + [f"9:29: error: brintel.readers_config.r1.cuda_visible_devices: {LIST} [validation]"]),
    "typo in a reader": (
        one_reader("tensor_paralel: 3"),
        ["8:7: warning: unknown key `tensor_paralel` in brintel.readers_config.r1; did you mean `tensor_parallel`? [unknown-key]"]),
    "the edit distance grows with the key": (
        one_reader("tnsr_paralel: 2", "tnsr_prlel: 2"),
        ["8:7: warning: unknown key `tnsr_paralel` in brintel.readers_config.r1; did you mean `tensor_parallel`? [unknown-key]",
         "9:7: warning: unknown key `tnsr_prlel` in brintel.readers_config.r1 [unknown-key]"]),
    "short keys only near misses": (
        one_reader(server="{host: x, prot: 1}"),
        ["2:19: warning: unknown key `host` in brintel.server_config [unknown-key]",
         "2:28: warning: unknown key `prot` in brintel.server_config; did you mean `port`? [unknown-key]"]),
    "unlike any reader field": (
        one_reader("frobnicate: 1"), ["8:7: warning: unknown key `frobnicate` in brintel.readers_config.r1 [unknown-key]"]),
    "case only, in brintel.server_config": (
        one_reader(server="{ECHO: true, colour: red}"),
        ["2:19: warning: unknown key `ECHO` in brintel.server_config; did you mean `echo`? [unknown-key]",
         "2:31: warning: unknown key `colour` in brintel.server_config [unknown-key]"]),
    "never a key the mapping has": (
        one_reader(server="{echo: true, ECHO: false}", after="  server_confg: {}\n  reader_config: {}\n"),
        ["2:31: warning: unknown key `ECHO` in brintel.server_config [unknown-key]",
         "8:3: warning: unknown key `server_confg` in brintel [unknown-key]",
         "9:3: warning: unknown key `reader_config` in brintel [unknown-key]"]),
    "a misspelt required key": (
        MISSPELT_REQUIRED,
        ["5:7: error: brintel.readers_config.r1: missing field `device` [missing-field]",
         "6:7: warning: unknown key `devcie` in brintel.readers_config.r1; did you mean `device`? [unknown-key]"]),
    "every type error at its value, and the readers that read validated": (
        one_reader("max_batch_size: many", "tensor_parallel: -2", "nvlink_unavailable: true",
                   server="{port: 70000, echo: yes}",
                   after="    r2: {model_name: m, device: gpu, consumer_group: g}\n"),
        ["2:25: error: brintel.server_config.port: invalid value: integer `70000`, expected u16 [wrong-type]",
         '2:38: error: brintel.server_config.echo: invalid type: string "yes", expected a boolean [wrong-type]',
         '8:23: error: brintel.readers_config.r1.max_batch_size: invalid type: string "many", expected u64'
         " [wrong-type]",
         "9:24: error: brintel.readers_config.r1.tensor_parallel: invalid type: integer `-2`, expected u32"
         " [wrong-type]",
         "10:27: error: brintel.readers_config.r1.nvlink_unavailable: invalid type: boolean `true`, expected u32"
         " [wrong-type]",
         f"11:33: error: brintel.readers_config.r2.device: {DEVICE} [validation]"]),
    "records and keys of the wrong kind": (
        one_reader("[a]: 1", server="7", after="    r2: x\n"),
        ["2:18: error: brintel.server_config: invalid type: integer `7`, expected struct OptionAppConfig [wrong-type]",
         "8:7: error: brintel.readers_config.r1: invalid type: sequence, expected field identifier [wrong-type]",
         '9:9: error: brintel.readers_config.r2: invalid type: string "x", expected struct ReaderConfig [wrong-type]']),
    "a field given twice, at the second": (
        one_reader("device: cpu"),
        ["8:7: error: brintel.readers_config.r1: duplicate field `device` [duplicate-field]"]),
    "a reader id given twice: the dropped one is checked too": (
        one_reader("tensr_parallel: 1", device="gpu",
                   after="    r1: {model_name: m, device: cpu, consumer_group: g}\n"),
        [f"6:15: error: brintel.readers_config.r1.device: {DEVICE}{DROPPED_FOR_9_5} [validation]",
         "8:7: warning: unknown key `tensr_parallel` in brintel.readers_config.r1; did you mean `tensor_parallel`?"
         f"{DROPPED_FOR_9_5} [unknown-key]",
         "9:5: warning: duplicate key `r1` in brintel.readers_config, first at line 4 column 5: reading keeps only"
         " the last one [duplicate-key]"]),
    "a second brintel entry: the dropped one is checked too": (
        one_reader("tensr_parallel: 1") + manifest(),
        ["8:7: warning: unknown key `tensr_parallel` in brintel.readers_config.r1; did you mean `tensor_parallel`?"
         " (reading drops this entry for the later one at line 9 column 1) [unknown-key]",
         "9:1: warning: duplicate key `brintel`, first at line 1 column 1: reading keeps only the last one"
         " [duplicate-key]"]),
    "keys given twice anywhere": (
        one_reader("extra: 1", "extra: {a: 1, b: [{c: 1, c: 2}], a: 3}", after=2 * OTHER),
        ["8:7: warning: unknown key `extra` in brintel.readers_config.r1 [unknown-key]",
         "9:7: warning: unknown key `extra` in brintel.readers_config.r1 [unknown-key]",
         "9:7: warning: duplicate key `extra` in brintel.readers_config.r1, first at line 8 column 7"
         " [duplicate-key]",
         "9:32: warning: duplicate key `c` in the value of brintel.readers_config.r1.extra, first at line 9"
         " column 26 [duplicate-key]",
         "9:40: warning: duplicate key `a` in the value of brintel.readers_config.r1.extra, first at line 9"
         " column 15 [duplicate-key]",
         "11:1: warning: duplicate key `other`, first at line 10 column 1: reading keeps only the last one"
         " [duplicate-key]"]),
    "a misspelt product key: checked as if it were brintel": (
        one_reader("tensr_parallel: 1", device="gpu").replace("brintel:", "brintl:"),
        ["1:1: error: No brintel key found in manifest; did you mean `brintel` for `brintl`? [no-product-key]",
         f"6:15: error: brintl.readers_config.r1.device: {DEVICE}{TAKEN} [validation]",
         "8:7: warning: unknown key `tensr_parallel` in brintl.readers_config.r1; did you mean `tensor_parallel`?"
         f"{TAKEN} [unknown-key]"]),
    "merge keys": (
        one_reader("<<: {backend: x}", "'<<': 1", after="    <<: {model_name: m, device: cpu, consumer_group: g}\n"
                   "<<: {server_config: {}, readers_config: {}}\n"),
        ["8:7: warning: merge key `<<` in brintel.readers_config.r1 is not applied: reading ignores it and the"
         " settings it names [merge-key]",
         "9:7: warning: unknown key `<<` in brintel.readers_config.r1 [unknown-key]",
         "9:7: warning: duplicate key `<<` in brintel.readers_config.r1, first at line 8 column 7 [duplicate-key]",
         "10:5: warning: merge key `<<` in brintel.readers_config is not applied: reading takes it for a reader with"
         " the id `<<` [merge-key]",
         "11:1: warning: merge key `<<` is not applied: reading takes it for a top-level entry named `<<`"
         " [merge-key]"]),
    "under brintel": (
        one_reader(after="  notes: x\n"), ["8:3: warning: unknown key `notes` in brintel [unknown-key]"]),
    "other top-level entries: only what makes reading fail": (
        one_reader(after="other:\n  server_config:\n  readers_config: {r: {model_name: m, device: x, typo: 1}}\n"
                   "  notes: x\n"),
        ["10:23: error: other.readers_config.r: missing field `consumer_group` [missing-field]"]),
    "aliased reader, aliased key, repeated id": (SHARED, [
        f"6:20: error: brintel.readers_config.r1.device: {DEVICE} [validation]",
        f"6:20: error: brintel.readers_config.r2.device: {DEVICE} [validation]",
        "8:7: warning: unknown key `Tensor_Parallel` in brintel.readers_config.r1; did you mean `tensor_parallel`? [unknown-key]",
        "8:7: warning: unknown key `Tensor_Parallel` in brintel.readers_config.r2; did you mean `tensor_parallel`? [unknown-key]",
        "11:5: warning: duplicate key `r3` in brintel.readers_config, first at line 10 column 5: reading keeps only the last one"
        " [duplicate-key]",
        f"11:32: error: brintel.readers_config.r3.device: {DEVICE} [validation]"]),
    "a line break in a key cannot start a line of its own": (
        'brintel:\n  server_config:\n  readers_config:\n    "a\\nfake.yaml:1:1: error: injected": {model_name: m,'
        ' device: x, consumer_group: g, "c\\u2028d": 1}\n',
        [f"4:66: error: brintel.readers_config.a\\nfake.yaml:1:1: error: injected.device: {DEVICE} [validation]",
         "4:88: warning: unknown key `c\\u{2028}d` in brintel.readers_config.a\\nfake.yaml:1:1: error: injected"
         " [unknown-key]"]),
}


@pytest.mark.parametrize("text, expected", FINDINGS.values(), ids=FINDINGS.keys())
def test_check_locates_every_finding(tmp_path, text, expected):
    path = write(tmp_path, text)
    result = run("check", path)
    assert result.stdout.splitlines() == [f"{path}:{line}" for line in expected]
    errors = any(": error: " in line for line in expected)
    assert (result.returncode, result.stderr) == (1 if errors else 0, "")


def test_every_manifest_without_findings_fits_the_schema():
    # Other entries than brintel are closed records to the schema, but check does not examine them.
    for name, (text, findings) in FINDINGS.items():
        if not findings and not name.startswith("other"):
            assert schema_validator().is_valid(yaml.safe_load(text)), name


def check_json(path, *options) -> list[dict]:
    result = run("check", "--format", "json", *options, path)
    return json.loads(result.stdout)


def test_repeated_reader_ids_among_many_readers(tmp_path):
    # Enough readers that ids share places in the table that finds entries by key.
    def reader_line(number: int, unknown: str = "") -> str:
        return f"    r{number}: {{model_name: m, device: cpu, consumer_group: g{unknown}}}\n"
    readers = [reader_line(number, ", tensr: 1" if number in (7, 150) else "") for number in range(300)]
    readers += [reader_line(7), reader_line(150), reader_line(7)]
    path = write(tmp_path, "brintel:\n  server_config: {}\n  readers_config:\n" + "".join(readers))
    findings = [(f["rule"], f["line"], f["message"].split("`")[1], re.findall(r"line \d+", f["message"]))
                for f in check_json(path)]
    # r7 stands on line 11 and again on 304 and 306, r150 on 154 and 305.
    assert findings == [("unknown-key", 11, "tensr", ["line 306"]), ("unknown-key", 154, "tensr", ["line 305"]),
                        ("duplicate-key", 304, "r7", ["line 11"]), ("duplicate-key", 305, "r150", ["line 154"]),
                        ("duplicate-key", 306, "r7", ["line 11"])]


def stands_for(finding: dict, error: str) -> bool:
    """Whether `finding` reports the reading error `error` (a module's text):
    its text, or its text without the position where the finding stands
    (for a field given twice, the record's start, while check points at the
    duplicate)."""
    text = error.removeprefix(S)
    if finding["message"] == text:
        return True
    if finding["message"] != re.sub(r" at line \d+ column \d+$", "", text):
        return False
    return finding["rule"] == "duplicate-field" or position(text) == (finding["line"], finding["column"])


def test_the_walk_stops_repeating_an_alias_where_reading_does(tmp_path):
    # Each alias replays a megabyte: reading gives up after about 256 of them, and so must the walk.
    readers = [f"r0: &r {{model_name: {'m' * (1 << 20)}, device: cpu, consumer_group: g, tensor_paralel: 1}}"]
    readers += [f"r{number}: *r" for number in range(1, 400)]
    path = write(tmp_path, manifest("\n".join(readers)))
    assert module_error(path) == S + "repetition limit exceeded"
    rules = [finding["rule"] for finding in check_json(path)]
    assert rules.count("syntax") == 1 and 200 < rules.count("unknown-key") < 300


# Manifests that do not read: the module's error is among the findings.
UNREADABLE = {
    "wrong type": one_reader("max_batch_size: many"),
    "missing field": "brintel:\n  server_config:\n  readers_config:\n    r1:\n      model_name: m\n",
    "duplicate field": one_reader("device: cpu"),
    "syntax": "brintel:\n  server_config: {}\n  readers_config: {}\n bad: x\n",
    "control character": 'brintel:\n  server_config:\n  readers_config:\n    r1: {model_name: "\u00e9\x01"}\n',
    "no product key": manifest(key="other"),
    "the root is a sequence": "- a\n",
    "an empty key": "'': 1\n" + manifest(),
    "more than one document": manifest() + "---\n" + manifest(),
    "empty": "",
}


@pytest.mark.parametrize("text", UNREADABLE.values(), ids=UNREADABLE.keys())
def test_the_module_error_is_among_the_findings(tmp_path, text):
    path = write(tmp_path, text)
    error = module_error(path)
    findings = check_json(path)
    assert [finding for finding in findings if stands_for(finding, error)]
    assert all(finding["severity"] == "error" for finding in findings if finding["rule"] in READING_RULES)


@pytest.mark.parametrize("text, findings", [
    # The reading error before a syntax error, and the syntax error, alone: past it nothing can be told.
    (one_reader("max_batch_size: x", "tensr: 1", "bad"), [("8:23", "wrong-type"), ("11:1", "syntax")]),
    # libyaml gives a control character's byte offset only; the text keeps it, the finding stands at its column.
    ('brintel:\n  server_config:\n  readers_config:\n    r1: {model_name: "\u00e9\x01"}\n', [("4:24", "syntax")]),
    ("\ufeffbrintel:\r\n  server_config:\r\n  readers_config:\r\n    r1: {\u00e9: \"\x01\"}\n", [("4:14", "syntax")]),
], ids=["after a reading error", "control character", "byte-order mark and CR LF"])
def test_a_text_that_is_not_well_formed_yaml(tmp_path, text, findings):
    path = write(tmp_path, text)
    assert [(f"{f['line']}:{f['column']}", f["rule"]) for f in check_json(path)] == findings


# Reader fields with values of every kind: sound, of the wrong type, out of
# range, misspelt, given twice, mappings where text goes.
VALUES = ["m", "1", "2", "3", "0", "many", "-2", "true", "'8'", "", "~", "0x10", "4294967296", "70000", "{a: 1}",
          "[1]", "cuda", "cpu", "api", "gpu", "'0,1'", "0,a", "1.5"]
KEYS = FIELDS + ["devcie", "tensor_paralel", "extra", "<<"]
READER_ENTRIES = st.lists(st.tuples(st.sampled_from(KEYS), st.sampled_from(VALUES)), max_size=5)
SERVER_ENTRIES = st.lists(st.tuples(st.sampled_from(["port", "echo", "repository_path", "porrt"]),
                                    st.sampled_from(VALUES)), max_size=3)


@st.composite
def generated_manifests(draw) -> str:
    lines = ["brintel:", "  server_config:"]
    lines += [f"    {key}: {value}" for key, value in draw(SERVER_ENTRIES)]
    lines += ["  readers_config:"]
    for reader_id in draw(st.lists(st.sampled_from(["r1", "r2", "r3"]), max_size=3)):
        lines.append(f"    {reader_id}:")
        device = draw(st.sampled_from(["cuda", "cpu", "gpu"]))
        required = [(key, value) for key, value in [("model_name", "m"), ("device", device), ("consumer_group", "g")]
                    if draw(st.integers(0, 5))]
        lines += [f"      {key}: {value}" for key, value in required + draw(READER_ENTRIES)]
    return "\n".join(lines) + "\n"


def reader_ids(text: str) -> set[str]:
    return set(re.findall(r"^    (\w+):$", text, re.M))


def validation_messages(path, reader_id: str) -> set[str]:
    """What validate() finds in a reader, as check words it."""
    try:
        read_brintel_readers_config(str(path), reader_id).validate()
    except Exception as error:
        return {f"brintel.readers_config.{reader_id}.{field}: {reason}"
                for field, reason in re.findall(r'Field\("(\w+)"\), error_type: Invalid\("([^"]*)"\)', str(error))}
    return set()


@settings(max_examples=100, deadline=None, suppress_health_check=[HealthCheck.function_scoped_fixture])
@given(text=generated_manifests())
def test_check_and_the_module_agree(tmp_path, text):
    path = write(tmp_path, text)
    error = module_error(path, "none")
    reads = "No reader with id" in error
    result = run("check", "--format", "json", path)
    findings = json.loads(result.stdout)
    assert reads == (not {finding["rule"] for finding in findings} & READING_RULES)
    if not reads:
        assert [finding for finding in findings if stands_for(finding, error)], error
    if reads:
        for reader_id in reader_ids(text):
            found = {f["message"] for f in findings
                     if f["rule"] == "validation" and f["reader"] == reader_id and "reading drops" not in f["message"]}
            assert found == validation_messages(path, reader_id)
    assert result.returncode == (1 if any(finding["severity"] == "error" for finding in findings) else 0)


def with_bytes(content: bytes):
    def make(tmp_path: Path) -> Path:
        path = tmp_path / "manifest.yaml"
        path.write_bytes(content)
        return path

    return make


# Files whose text cannot be had, and what check says of them.
FILE_PROBLEMS = {
    "missing": (lambda tmp: tmp / "missing.yaml", "1:1", "No such file or directory"),
    "a device": (lambda tmp: Path("/dev/null"), "1:1", "not a regular file"),
    "not UTF-8": (with_bytes(b"brintel:\n  x: '\xc3\xa9 \xff'\n"), "2:9", "invalid UTF-8 at line 2 column 9"),
    "not UTF-8 at once": (with_bytes(b"\xfe"), "1:1", "invalid UTF-8"),
}


@pytest.mark.parametrize("make, at, reason", FILE_PROBLEMS.values(), ids=FILE_PROBLEMS.keys())
def test_a_file_that_cannot_be_read_is_a_finding_in_every_format(tmp_path, make, at, reason):
    path = make(tmp_path)
    line, column = at.split(":")
    message = f"cannot read the manifest: {reason}"
    text = run("check", path)
    assert (text.returncode, text.stdout, text.stderr) == (2, f"{path}:{at}: error: {message} [unreadable]\n", "")
    assert check_json(path) == [{"file": str(path), "line": int(line), "column": int(column), "endLine": None,
                                 "endColumn": None, "severity": "error", "rule": "unreadable", "reader": None,
                                 "field": None, "message": message}]
    github = run("check", "--format", "github", path).stdout
    assert github == f"::error file={path},line={line},col={column},title=unreadable::{message}\n"
    assert module_error(path) == f"File Not Found on path: {path}"


def test_a_file_too_large_for_a_manifest_is_unreadable(tmp_path):
    path = tmp_path / "huge.yaml"
    with open(path, "wb") as huge:
        huge.truncate((64 << 20) + 1)
    result = run("check", path)
    assert (result.returncode, result.stdout) == (
        2, f"{path}:1:1: error: cannot read the manifest: manifest larger than 64 MiB [unreadable]\n")


def test_a_file_without_permission_names_the_reason(tmp_path):
    # Root reads every file: the command runs without the capabilities that let it.
    command = [str(COMMAND)]
    if os.geteuid() == 0:
        if shutil.which("setpriv") is None:
            pytest.skip("running as root, and setpriv (util-linux) is missing to drop the capability to read")
        dropped = "-dac_override,-dac_read_search"
        command = ["setpriv", f"--inh-caps={dropped}", f"--bounding-set={dropped}", "--", *command]
    readable = write(tmp_path, manifest(), "readable.yaml")
    closed = write(tmp_path, manifest(), "closed.yaml")
    closed.chmod(0)
    result = subprocess.run([*command, "check", readable, closed], capture_output=True, text=True, timeout=600)
    assert (result.returncode, result.stdout) == (2, f"{closed}:1:1: error: cannot read the manifest: Permission denied"
                                                     " [unreadable]\n")


def test_a_file_name_that_is_not_utf8_keeps_the_json_valid(tmp_path):
    name = os.fsdecode(b"m\xe9\xff.yaml")
    path = tmp_path / name
    result = subprocess.run([COMMAND, b"check", b"--format", b"json", os.fsencode(path)], capture_output=True,
                            timeout=600)
    [finding] = json.loads(result.stdout.decode("utf-8"))
    assert finding["rule"] == "unreadable" and os.fsencode(finding["file"]) == os.fsencode(path)


def rule_table() -> list[dict]:
    """The rows of the rule table, as `brintel-config rules` prints them."""
    result = run("rules", "--format", "json")
    assert (result.returncode, result.stderr) == (0, "")
    return json.loads(result.stdout)


def manifest_bytes(text: str) -> bytes:
    # A stray byte comes out of the JSON as \udcXX, as os.fsdecode gives it.
    return text.encode("utf-8", "surrogateescape")


@pytest.mark.parametrize("rule", rule_table(), ids=lambda rule: rule["name"])
def test_each_rule_reports_its_example_and_nothing_else(tmp_path, rule):
    example, fixed = tmp_path / "example.yaml", tmp_path / "fixed.yaml"
    example.write_bytes(manifest_bytes(rule["example"]))
    fixed.write_bytes(manifest_bytes(rule["fixed"]))
    found = check_json(example, "--select", "all")
    assert found and {finding["rule"] for finding in found} == {rule["name"]}
    assert check_json(fixed, "--select", "all") == []
    default = check_json(example)
    assert bool(default) == rule["default"]


def test_the_sarif_log_fits_the_published_schema(tmp_path):
    schema = json.loads((ROOT / "tests" / "data" / "sarif" / "sarif-schema-2.1.0.json").read_text())
    validator = jsonschema.Draft4Validator(schema)
    paths = []
    for number, rule in enumerate(rule_table()):
        paths.append(tmp_path / f"{number} {rule['name']}.yaml")
        paths[-1].write_bytes(manifest_bytes(rule["example"]))
    result = run("check", "--format", "sarif", "--select", "all", *paths, "-", input=EXAMPLE.read_text())
    log = json.loads(result.stdout)
    assert list(validator.iter_errors(log)) == []
    [run_] = log["runs"]
    rules = run_["tool"]["driver"]["rules"]
    assert [rule["id"] for rule in rules] == [rule["name"] for rule in rule_table()]
    assert all(rule["help"]["text"] and rule["help"]["markdown"] for rule in rules)
    results = run_["results"]
    assert {rules[result["ruleIndex"]]["id"] for result in results} == {rule["id"] for rule in rules}
    assert all(rules[result["ruleIndex"]]["id"] == result["ruleId"] for result in results)
    uri = results[0]["locations"][0]["physicalLocation"]["artifactLocation"]["uri"]
    assert uri == "file://" + urllib.parse.quote(str(paths[0])) and " " not in uri


def test_a_directory_stands_for_the_manifests_below_it(tmp_path):
    warning = FINDINGS["typo in a reader"][0]
    root = tmp_path / "deploy"
    outside = tmp_path / "outside"
    for directory in (root / "b", root / "a", root / ".hidden", outside):
        directory.mkdir(parents=True)
    for path in (root / "b" / "z.yaml", root / "a" / "m.yml", root / "top.yaml", root / "notes.txt",
                 root / ".hidden" / "x.yaml", root / "a" / ".x.yaml", outside / "linked.yaml"):
        path.write_text(warning)
    (root / "link").symlink_to(outside)
    (root / "a" / "linked-file.yaml").symlink_to(outside / "linked.yaml")
    explicit = write(tmp_path, warning, "manifest.conf")
    result = run("check", root, explicit)
    checked = [line.split(":")[0] for line in result.stdout.splitlines()]
    assert checked == [str(path) for path in (root / "a" / "linked-file.yaml", root / "a" / "m.yml",
                                              root / "b" / "z.yaml", root / "top.yaml", explicit)]
    empty = run("check", outside / "..", "--select", "merge-key")  # sound for that rule
    assert empty.returncode == 0
    nothing = tmp_path / "nothing"
    nothing.mkdir()
    quiet = run("check", nothing)
    assert (quiet.returncode, quiet.stdout, quiet.stderr) == (
        0, "", f"brintel-config: no *.yaml or *.yml files below {nothing}\n")


@pytest.mark.parametrize("arguments, environment, coloured", [
    ([], {}, False),
    ([], {"FORCE_COLOR": "1"}, True),
    ([], {"CLICOLOR_FORCE": "1"}, True),
    ([], {"CLICOLOR_FORCE": "0"}, False),
    ([], {"FORCE_COLOR": "1", "NO_COLOR": "1"}, False),
    (["--color=always"], {"NO_COLOR": "1"}, True),
    (["--color", "never"], {"FORCE_COLOR": "1"}, False),
])
def test_colour_through_a_pipe(tmp_path, arguments, environment, coloured):
    path = write(tmp_path, FINDINGS["typo in a reader"][0])
    clean = {key: value for key, value in os.environ.items()
             if key not in ("NO_COLOR", "FORCE_COLOR", "CLICOLOR_FORCE")}
    result = run("check", *arguments, path, env={**clean, **environment})
    assert ("\x1b[1;33mwarning\x1b[0m" in result.stdout) == coloured
    assert result.stdout.count("\n") == 1  # the closing count is for terminals only


STATUS = [
    (["sound"], [], 0),
    (["warning"], [], 0),
    (["warning"], ["--strict"], 1),
    (["error"], [], 1),
    (["sound", "missing", "warning"], [], 2),
    (["warning", "sound"], ["--strict"], 1),
    (["error", "warning"], ["--strict"], 1),
]
STATUS_FILES = {"sound": FINDINGS["sound"][0], "warning": FINDINGS["typo in a reader"][0],
                "error": UNREADABLE["wrong type"]}


@pytest.mark.parametrize("names, options, status", STATUS)
def test_the_worst_status_of_all_manifests_wins(tmp_path, names, options, status):
    paths = [tmp_path / name if name == "missing" else write(tmp_path, STATUS_FILES[name], f"{name}.yaml")
             for name in names]
    result = run("check", *options, *paths)
    assert result.returncode == status
    assert {line.split(":")[0] for line in result.stdout.splitlines()} == {
        str(path) for path, name in zip(paths, names) if name != "sound"}


TYPO_AND_INVALID = one_reader("tensor_paralel: 2", after="    r2: {model_name: m, device: gpu, consumer_group: g}\n")


def test_the_formats(tmp_path):
    path = write(tmp_path, TYPO_AND_INVALID, "a,b:c%.yaml")
    typo = "unknown key `tensor_paralel` in brintel.readers_config.r1; did you mean `tensor_parallel`?"
    invalid = f"brintel.readers_config.r2.device: {DEVICE}"
    text = run("check", path)
    assert text.stdout.splitlines() == [f"{path}:8:7: warning: {typo} [unknown-key]",
                                        f"{path}:9:33: error: {invalid} [validation]"]
    github = run("check", "--format=github", path)
    escaped = str(path).replace("%", "%25").replace(":", "%3A").replace(",", "%2C")
    assert github.stdout.splitlines() == [
        f"::warning file={escaped},line=8,col=7,endLine=8,endColumn=21,title=unknown-key::{typo}",
        f"::error file={escaped},line=9,col=33,endLine=9,endColumn=36,title=validation::{invalid}"]
    as_json = run("check", "--format", "json", path)
    assert json.loads(as_json.stdout) == [
        {"file": str(path), "line": 8, "column": 7, "endLine": 8, "endColumn": 21, "severity": "warning",
         "rule": "unknown-key", "reader": "r1", "field": None, "message": typo},
        {"file": str(path), "line": 9, "column": 33, "endLine": 9, "endColumn": 36, "severity": "error",
         "rule": "validation", "reader": "r2", "field": "device", "message": invalid},
    ]
    sarif = run("check", "--format", "sarif", path)
    [result_typo, result_invalid] = json.loads(sarif.stdout)["runs"][0]["results"]
    assert result_invalid["locations"][0]["physicalLocation"] == {
        "artifactLocation": {"uri": "file://" + urllib.parse.quote(str(path))},
        "region": {"startLine": 9, "startColumn": 33, "endLine": 9, "endColumn": 36}}
    assert (result_typo["ruleId"], result_typo["level"], result_typo["message"]["text"]) == (
        "unknown-key", "warning", typo)
    assert [text.returncode, github.returncode, as_json.returncode, sarif.returncode] == [1, 1, 1, 1]
    assert run("check", "--format", "json", EXAMPLE).stdout == "[]\n"


# Where findings at keys and values end, and where nothing is said to end.
END_POSITIONS = {
    "a flow collection": (one_reader("max_batch_size: {a: [1, 2]}"), (8, 23), (8, 34)),
    "an anchored scalar": (one_reader("max_batch_size: &x many"), (8, 23), (8, 30)),
    "a scalar over two lines": (one_reader('max_batch_size: "a', '  b"'), (8, 23), (9, 11)),
    "an alias, refused where its anchor stands": (one_reader("backend: &b x", "max_batch_size: *b"), (8, 16), (8, 20)),
    "an alias": (one_reader("backend: &b x", "cuda_visible_devices: *b"), (9, 29), (9, 31)),
    "a key given twice": (one_reader("device: cpu"), (8, 7), (8, 13)),
    "a block mapping": (one_reader("max_batch_size:", "  a: 1"), (9, 9), None),
    "a missing setting": (UNREADABLE["missing field"], (5, 7), None),
}


@pytest.mark.parametrize("text, start, end", END_POSITIONS.values(), ids=END_POSITIONS.keys())
def test_findings_end_where_their_key_or_value_ends(tmp_path, text, start, end):
    finding = [f for f in check_json(write(tmp_path, text)) if (f["line"], f["column"]) == start][0]
    assert (finding["endLine"], finding["endColumn"]) == (end or (None, None))


@pytest.mark.parametrize("text, position, reader_and_field", [
    (one_reader("max_batch_size: many"), (8, 23), ("r1", "max_batch_size")),
    (UNREADABLE["missing field"], (5, 7), ("r1", "device")),
    (one_reader(server="{port: x}"), (2, 25), (None, "port")),
    (one_reader(after="other: {server_config: {}, readers_config: {r1: {device: 1}}}\n"), (8, 49),
     (None, "model_name")),
    (UNREADABLE["no product key"], (1, 1), (None, None)),
], ids=["in a field", "in a reader", "in server_config", "in another entry", "nowhere"])
def test_json_names_the_reader_and_field_of_a_reading_error(tmp_path, text, position, reader_and_field):
    path = write(tmp_path, text)
    finding = check_json(path)[0]
    assert (finding["line"], finding["column"]) == position
    assert (finding["reader"], finding["field"]) == reader_and_field
    assert stands_for(finding, module_error(path))


def test_github_escapes_percent_and_line_breaks_in_messages(tmp_path):
    invalid = write(tmp_path, one_reader(after='    "50%": {model_name: m, device: x, consumer_group: g}\n'), "a.yaml")
    unreadable = write(tmp_path, one_reader(after='    "a\\nb": {model_name: m, device: x, max_batch_size: x}\n'),
                       "b.yaml")
    lines = run("check", "--format", "github", invalid, unreadable).stdout.splitlines()
    assert lines[0] == (f"::error file={invalid},line=8,col=36,endLine=8,endColumn=37,title=validation::"
                        f"brintel.readers_config.50%25.device: {DEVICE}")
    assert lines[1] == (f"::error file={unreadable},line=8,col=13,title=missing-field::brintel.readers_config.a%0Ab:"
                        " missing field `consumer_group`")
    assert len(lines) == 3 and "%0A" in lines[2]


IGNORED = "# brintel-config: ignore[unknown-key]"

# Manifests with comments, and the rules that check --select all reports.
SUPPRESSIONS = {
    "the rule named": (one_reader(f"extra: 1  {IGNORED}"), []),
    "among others, with blanks": (one_reader("extra: 1 #brintel-config:ignore[ merge-key , unknown-key ] why"),
                                  ["unused-suppression"]),
    "another rule": (one_reader("extra: 1  # brintel-config: ignore[merge-key]"), ["unknown-key", "unused-suppression"]),
    "an unknown rule": (one_reader("extra: 1  # brintel-config: ignore[unknown_key]"), ["unknown-key", "bad-suppression"]),
    "a bare ignore": (one_reader("extra: 1  # brintel-config: ignore"), ["unknown-key", "bad-suppression"]),
    "a wrong case": (one_reader("extra: 1  # Brintel-Config: Ignore[unknown-key]"),
                     ["unknown-key", "bad-suppression", "bad-suppression"]),
    "an error": (one_reader("max_batch_size: x  # brintel-config: ignore[wrong-type]"),
                 ["wrong-type", "bad-suppression"]),
    "prose that names the command": (one_reader("extra: 1  # brintel-config checks this"), ["unknown-key"]),
    "inside a quoted value": (one_reader(f'extra: "{IGNORED}"'), ["unknown-key"]),
    "a quoted value right after a colon": (one_reader(server=f'{{devcie: x, "note":"a {IGNORED}"}}'),
                                           ["unknown-key", "unknown-key"]),
    "after a quote inside a plain value": (one_reader(f'rollout: say "hi {IGNORED}'), []),
    "after a quoted value": (one_reader(f"extra: 'it''s # x'  {IGNORED}"), []),
    "in a flow mapping": (one_reader(f"extra: {{a: 1}}  {IGNORED}"), []),
    "inside a block scalar": (one_reader("extra: |", "  # brintel-config: ignore-file[unknown-key]"), ["unknown-key"]),
    "on another line": (one_reader(IGNORED, "extra: 1"), ["unused-suppression", "unknown-key"]),
    "for the whole file": (one_reader("extra: 1", "other: 1", after="# brintel-config: ignore-file[unknown-key]\n"),
                           []),
    "of the findings about suppressions": (
        one_reader("extra: 1  # brintel-config: ignore[unknown-key, merge-key]",
                   after="# brintel-config: ignore-file[unused-suppression]\n"), []),
}


@pytest.mark.parametrize("text, rules", SUPPRESSIONS.values(), ids=SUPPRESSIONS.keys())
def test_comments_suppress_warnings_of_the_rules_they_name(tmp_path, text, rules):
    findings = check_json(write(tmp_path, text), "--select", "all")
    assert [finding["rule"] for finding in findings] == rules


@pytest.mark.parametrize("comment, message", [
    ("ignore[unknown_key]", "unknown rule `unknown_key` in a suppression; did you mean `unknown-key`?"),
    ("ignore[Merge-Key]", "unknown rule `Merge-Key` in a suppression; did you mean `merge-key`?"),
    ("ignor[merge-key]", "unknown suppression `ignor`; did you mean `ignore`?"),
    ("Ignore-File[merge-key]", "suppression not applied; did you mean `ignore-file`?"),
    ("ignore[validation]", "no comment can suppress `validation`: it is an error"),
])
def test_a_bad_suppression_says_what_was_meant(tmp_path, comment, message):
    [finding] = check_json(write(tmp_path, one_reader(f"backend: x  # brintel-config: {comment}")))
    assert (finding["rule"], finding["message"], finding["line"]) == ("bad-suppression", message, 8)


def test_standard_input(tmp_path):
    text = FINDINGS["typo in a reader"][0]
    shown = run("check", "-", input=text)
    assert (shown.returncode, shown.stdout.split(":")[0]) == (0, "<stdin>")
    named = run("check", "--stdin-filename", "deploy/manifest.yaml", "--format", "json", "-", input=text)
    assert [finding["file"] for finding in json.loads(named.stdout)] == ["deploy/manifest.yaml"]


def test_version_is_the_package_version():
    result = run("--version")
    assert (result.returncode, result.stdout, result.stderr) == (
        0, f"brintel-config {importlib.metadata.version('brintel-config')}\n", "")


def test_a_closed_pipe_ends_the_command_quietly_even_with_sigpipe_ignored():
    reading, writing = os.pipe()
    os.close(reading)  # as `| head` does once it has read enough
    try:
        # A launcher in a Python process hands the command an ignored SIGPIPE.
        result = subprocess.run([COMMAND, "schema"], stdout=writing, stderr=subprocess.PIPE, timeout=600,
                                restore_signals=False, preexec_fn=lambda: signal.signal(signal.SIGPIPE, signal.SIG_IGN))
    finally:
        os.close(writing)
    assert (result.returncode, result.stderr) == (-signal.SIGPIPE, b"")


def on_terminal(*arguments, env=None) -> str:
    """What the command writes to a terminal."""
    controller, terminal = pty.openpty()
    result = subprocess.run([COMMAND, *map(str, arguments)], stdout=terminal, stderr=subprocess.PIPE, timeout=600,
                            env={**os.environ, "TERM": "xterm", **(env or {})})
    os.close(terminal)
    output = b""
    while True:
        try:
            chunk = os.read(controller, 4096)
        except OSError:  # the terminal is gone once read
            break
        if not chunk:
            break
        output += chunk
    os.close(controller)
    assert result.returncode in (0, 1)
    return output.decode().replace("\r\n", "\n")


def test_on_a_terminal_colour_and_a_summary(tmp_path):
    warning = write(tmp_path, FINDINGS["typo in a reader"][0], "warning.yaml")
    ignored = write(tmp_path, one_reader("extra: 1  # brintel-config: ignore[unknown-key]"), "ignored.yaml")
    error = write(tmp_path, FINDINGS["validation at the value"][0], "error.yaml")
    coloured = on_terminal("check", warning, ignored, error)
    assert "\x1b[1;33mwarning\x1b[0m" in coloured and "\x1b[1;31merror\x1b[0m" in coloured
    assert coloured.endswith("\n1 error, 1 warning in 3 manifests (1 ignored)\n")
    plain = on_terminal("check", warning, env={"NO_COLOR": "1"})
    assert "\x1b" not in plain and plain.endswith("\n0 errors, 1 warning in 1 manifest\n")
    assert on_terminal("check", EXAMPLE) == "no problems in 1 manifest\n"
    piped = run("check", warning, error).stdout
    assert "\x1b" not in piped and piped.splitlines()[-1].endswith("[validation]")


def fields_of(path, reader_id: str) -> dict:
    return fields_of_reader(read_brintel_readers_config(str(path), reader_id))


@pytest.mark.parametrize("path_and_id", [(EXAMPLE, "r1"), (EXAMPLE, "embedder"), (None, "r1")],
                         ids=["example r1", "example embedder", "every field with awkward text"])
def test_show_prints_every_field_in_order_as_json_or_yaml(tmp_path, path_and_id):
    path, reader_id = path_and_id
    path = path or write(tmp_path, manifest(every_field()))
    expected = fields_of(path, reader_id)
    as_json = run("show", path, reader_id)
    assert (as_json.returncode, as_json.stderr) == (0, "")
    assert list(json.loads(as_json.stdout).items()) == list(expected.items())
    as_yaml = run("show", "--format", "yaml", path, reader_id)
    assert (as_yaml.returncode, as_yaml.stderr) == (0, "")
    # What it prints is a reader as a manifest holds it: the module reads it back.
    copy = write(tmp_path, manifest("r1:\n" + textwrap.indent(as_yaml.stdout, "  ")), "copy.yaml")
    assert fields_of(copy, "r1") == expected


def test_show_without_an_id_lists_the_ids_one_a_line(tmp_path):
    reader = "{model_name: m, device: cpu, consumer_group: g}"
    path = write(tmp_path, manifest(f'b: {reader}\n"x\\ny": {reader}\na: {reader}\nb: {reader}'))
    result = run("show", path)
    assert (result.returncode, result.stdout, result.stderr) == (0, "b\nx\\ny\na\n", "")


def test_show_reads_standard_input_and_names_the_file_of_a_missing_reader(tmp_path):
    shown = run("show", "-", "r1", input=EXAMPLE.read_text())
    assert (shown.returncode, json.loads(shown.stdout)) == (0, fields_of(EXAMPLE, "r1"))
    for operand, name in [(EXAMPLE, str(EXAMPLE)), ("-", "<stdin>")]:
        missing = run("show", operand, "r2", input=EXAMPLE.read_text())
        assert (missing.returncode, missing.stdout) == (2, "")
        assert missing.stderr == f"brintel-config show: no reader with id `r2` in {name}; did you mean `r1`?\n"
    assert "manifest.yaml" in module_error(EXAMPLE, "r2")


def test_show_of_a_reader_that_fails_validation(tmp_path):
    path = write(tmp_path, one_reader("tensor_parallel: 3", device="gpu"))
    result = run("show", path, "r1")
    assert result.returncode == 1 and json.loads(result.stdout)["device"] == "gpu"
    assert result.stderr.splitlines() == [
        f"{path}:6:15: error: brintel.readers_config.r1.device: {DEVICE} [validation]",
        f"{path}:8:24: error: brintel.readers_config.r1.tensor_parallel: {ODD} [validation]"]


def test_show_escapes_control_characters_and_keeps_utf8(tmp_path):
    stdout = run("show", write(tmp_path, manifest(every_field())), "r1").stdout
    assert r'"quote\" backslash\\ tab\t nul\u0000 bell\u0007 del' + "\x7f é 日本 🙂 </\"" in stdout
    assert r'"redis_host": "line\nfeed\rreturn"' in stdout
    assert r'"access_token": "\u0001\u001f"' in stdout
    assert '"max_batch_size": 18446744073709551615,' in stdout


CHECK_USAGE = ["usage: brintel-config check [--format text|json|github|sarif] [--strict] [--select RULES]"
               " [--ignore RULES] [--color auto|always|never] [--stdin-filename NAME] MANIFEST..."]
SHOW_USAGE = ["usage: brintel-config show [--format json|yaml] MANIFEST [READER_ID]"]
PROGRAM_USAGE = [CHECK_USAGE[0], "       " + SHOW_USAGE[0].removeprefix("usage: "),
                 "       brintel-config rules [--format text|json]", "       brintel-config schema"]


@pytest.mark.parametrize("arguments", [["--help"], ["-h"], ["check", "--help"], ["show", "m", "-h"]])
def test_help_goes_to_stdout(arguments):
    result = run(*arguments)
    assert (result.returncode, result.stderr) == (0, "")
    assert result.stdout.startswith("usage: brintel-config")


def test_each_command_describes_itself():
    assert run("check", "--help").stdout.splitlines()[0] == CHECK_USAGE[0]
    assert run("show", "--help").stdout.splitlines()[0] == SHOW_USAGE[0]
    overview = run("--help").stdout
    assert overview.splitlines()[:4] == PROGRAM_USAGE
    assert all(f"\n  {command} " in overview for command in ("check", "show", "rules", "schema"))


def help_rules() -> dict[str, str]:
    """The rules that `check --help` lists, with their severity."""
    text = run("check", "--help").stdout
    block = text.split("\nRules:\n", 1)[1].split("\n\n", 1)[0]
    return dict(re.findall(r"^  (\S+) +(error|warning) ", block, re.M))


def test_the_help_lists_every_rule_and_format():
    rules = help_rules()
    assert READING_RULES | WARNING_RULES <= set(rules)
    assert {name for name, severity in rules.items() if severity == "warning"} == WARNING_RULES
    options = run("check", "--help").stdout.split("\nOptions:\n", 1)[1]
    assert re.findall(r"^    (\w+) ", options, re.M) == ["text", "json", "github", "sarif", "auto", "always", "never"]


OPERATORS = ROOT / "docs" / "operators.md"


@pytest.mark.skipif(not OPERATORS.exists(), reason="the documentation is in a clone, not in the wheel")
def test_the_operators_guide_lists_every_rule():
    table = dict(re.findall(r"^\| `([a-z-]+)` \| (error|warning) \|", OPERATORS.read_text(), re.M))
    assert table == help_rules()


@pytest.mark.parametrize(
    ("arguments", "message", "usage"),
    [
        ([], "brintel-config: missing command", PROGRAM_USAGE),
        (["frob"], "brintel-config: unknown command 'frob'", PROGRAM_USAGE),
        (["--frob"], "brintel-config: unknown option '--frob'", PROGRAM_USAGE),
        (["check"], "brintel-config check: missing MANIFEST", CHECK_USAGE),
        (["check", "--strict=1", "a"], "brintel-config check: option '--strict' takes no value", CHECK_USAGE),
        (["check", "a", "--format"],
         "brintel-config check: option '--format' needs a value: text, json, github or sarif", CHECK_USAGE),
        (["check", "a", "--stdin-filename"], "brintel-config check: option '--stdin-filename' needs a value",
         CHECK_USAGE),
        (["check", "--format=xml", "a"],
         "brintel-config check: invalid value 'xml' for option '--format': choose text, json, github or sarif",
         CHECK_USAGE),
        (["check", "--ignore", "unknown_key", "a"],
         "brintel-config check: unknown rule 'unknown_key'; did you mean 'unknown-key'? for option '--ignore'",
         CHECK_USAGE),
        (["check", "--select=all,merge", "a"], "brintel-config check: unknown rule 'merge' for option '--select'",
         CHECK_USAGE),
        (["schema", "a"], "brintel-config schema: unexpected argument 'a'", ["usage: brintel-config schema"]),
        (["show"], "brintel-config show: missing MANIFEST", SHOW_USAGE),
        (["show", "a", "b", "c"], "brintel-config show: unexpected argument 'c'", SHOW_USAGE),
    ],
)
def test_usage_errors_exit_2_on_stderr(arguments, message, usage):
    result = run(*arguments)
    assert (result.returncode, result.stdout) == (2, "")
    assert result.stderr.splitlines() == [message, *usage]


def test_double_dash_ends_the_options(tmp_path):
    write(tmp_path, manifest(), name="-manifest.yaml")
    result = run("check", "--", "-manifest.yaml", cwd=tmp_path)
    assert (result.returncode, result.stderr) == (0, "")


def test_a_failed_write_is_not_a_success():
    with open("/dev/full", "w") as full:
        result = subprocess.run([str(COMMAND), "show", str(EXAMPLE), "r1"], stdout=full, stderr=subprocess.PIPE,
                                text=True, timeout=600)
    assert result.returncode == 2
    assert result.stderr == "brintel-config: cannot write to standard output\n"


HOOKS = ROOT / ".pre-commit-hooks.yaml"


@pytest.mark.skipif(not HOOKS.exists(), reason="the hook definition is in a clone, not in the wheel")
def test_the_pre_commit_hook_checks_manifests(tmp_path):
    [hook] = yaml.safe_load(HOOKS.read_text())
    assert {"id", "name", "entry", "language", "files"} <= set(hook)
    command, *arguments = hook["entry"].split()
    assert command == COMMAND.name and "--strict" in arguments
    files = re.compile(hook["files"])
    assert files.search("deploy/manifest.yaml") and files.search("manifest.yml") and not files.search("other.yaml")
    sound = write(tmp_path, FINDINGS["sound"][0])
    warning = write(tmp_path, FINDINGS["typo in a reader"][0], "warning.yaml")
    assert [run(*arguments, path).returncode for path in (sound, warning)] == [0, 1]

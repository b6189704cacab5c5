"""The brintel-config command installed beside the interpreter."""

import json
import re
import subprocess
import sys
from pathlib import Path

import jsonschema
import pytest
import yaml

from brintel_config import ReaderConfig, read_brintel_readers_config
from manifests import FIELDS, manifest
from manifests import COUNT_REASON as COUNT, CPU_PARALLEL_REASON as CPU_PARALLEL, DEVICE_REASON as DEVICE
from manifests import LIST_REASON as LIST, ODD_REASON as ODD

COMMAND = Path(sys.executable).parent / "brintel-config"
EXAMPLE = Path(__file__).resolve().parent.parent / "examples" / "manifest.yaml"



def run(*arguments, **kwargs) -> subprocess.CompletedProcess:
    return subprocess.run([str(COMMAND), *map(str, arguments)], capture_output=True, text=True, timeout=600, **kwargs)


def write(tmp_path, text: str, name: str = "manifest.yaml") -> Path:
    path = tmp_path / name
    path.write_text(text)
    return path


def module_error(path, reader_id: str = "r1") -> str:
    with pytest.raises(Exception) as caught:
        read_brintel_readers_config(str(path), reader_id)
    return str(caught.value)


def test_the_example_manifest_is_sound():
    result = run("check", EXAMPLE)
    assert (result.returncode, result.stdout, result.stderr) == (0, "", "")


def one_reader(*lines: str, device: str = "cuda", server: str = "{}", after: str = "") -> str:
    """Reader r1 on lines 4-7 (device's value at 6:15), then `lines` in it
    from line 8 on (a value at column len(key) + 9), then `after`."""
    head = (f"brintel:\n  server_config: {server}\n  readers_config:\n"
            f"    r1:\n      model_name: m\n      device: {device}\n      consumer_group: g\n")
    return head + "".join(f"      {line}\n" for line in lines) + after


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

# Manifests that read, and check's findings as "LINE:COLUMN: SEVERITY: MESSAGE".
FINDINGS = {
    "sound": (one_reader("tensor_parallel: 2", 'cuda_visible_devices: "0,1"'), []),
    "no readers": (manifest(), []),
    "validation at the value": (one_reader(device="gpu"), [f"6:15: error: readers_config.r1.device: {DEVICE}"]),
    "findings at one value in rule order": (
        one_reader("tensor_parallel: 3", "cuda_visible_devices: a", device="cpu"),
        [f"8:24: error: readers_config.r1.tensor_parallel: {reason}" for reason in (CPU_PARALLEL, COUNT, ODD)]
        + [f"9:29: error: readers_config.r1.cuda_visible_devices: {LIST}"]),
    "typo in a reader": (
        one_reader("tensor_paralel: 3"),
        ["8:7: warning: unknown key `tensor_paralel` in reader r1; did you mean `tensor_parallel`?"]),
    "two edits away, and three": (
        one_reader("tensr_paralel: 2", "tnsr_paralel: 2"),
        ["8:7: warning: unknown key `tensr_paralel` in reader r1; did you mean `tensor_parallel`?",
         "9:7: warning: unknown key `tnsr_paralel` in reader r1"]),
    "unlike any reader field": (one_reader("frobnicate: 1"), ["8:7: warning: unknown key `frobnicate` in reader r1"]),
    "case only, in server_config": (
        one_reader(server="{ECHO: true, colour: red}"),
        ["2:19: warning: unknown key `ECHO` in server_config; did you mean `echo`?",
         "2:31: warning: unknown key `colour` in server_config"]),
    "under brintel": (
        one_reader(after="  reader_config: {}\n  notes: x\n"),
        ["8:3: warning: unknown key `reader_config` in brintel; did you mean `readers_config`?",
         "9:3: warning: unknown key `notes` in brintel"]),
    "other top-level entries are not examined": (
        one_reader(after="other:\n  server_config:\n  readers_config:\n  notes: x\n"), []),
    "aliased reader, aliased key, repeated id": (SHARED, [
        f"6:20: error: readers_config.r1.device: {DEVICE}",
        f"6:20: error: readers_config.r2.device: {DEVICE}",
        "8:7: warning: unknown key `Tensor_Parallel` in reader r1; did you mean `tensor_parallel`?",
        "8:7: warning: unknown key `Tensor_Parallel` in reader r2; did you mean `tensor_parallel`?",
        f"11:32: error: readers_config.r3.device: {DEVICE}"]),
    "control characters stay escaped": (
        'brintel:\n  server_config:\n  readers_config:\n    "a\\nb": {model_name: m, device: x, consumer_group: g, "c\\td": 1}\n',
        [f'4:37: error: readers_config."a\\nb".device: {DEVICE}',
         '4:59: warning: unknown key `"c\\td"` in reader "a\\nb"']),
}


@pytest.mark.parametrize("text, expected", FINDINGS.values(), ids=FINDINGS.keys())
def test_check_locates_every_finding(tmp_path, text, expected):
    path = write(tmp_path, text)
    result = run("check", path)
    assert result.stdout.splitlines() == [f"{path}:{line}" for line in expected]
    errors = any(": error: " in line for line in expected)
    assert (result.returncode, result.stderr) == (1 if errors else 0, "")


# Manifests that do not read: one error, at the position the module's text names.
UNREADABLE = {
    "wrong type": one_reader("max_batch_size: many"),
    "missing field": "brintel:\n  server_config:\n  readers_config:\n    r1:\n      model_name: m\n",
    "syntax": "brintel:\n  server_config: {}\n  readers_config: {}\n bad: x\n",
    "no product key": manifest(key="other"),
    "empty": "",
}


@pytest.mark.parametrize("text", UNREADABLE.values(), ids=UNREADABLE.keys())
def test_a_manifest_that_does_not_read_is_one_located_error(tmp_path, text):
    path = write(tmp_path, text)
    message = module_error(path)
    at = re.search(r" at line (\d+) column (\d+)", message)
    line, column = at.groups() if at else (1, 1)
    result = run("check", path)
    assert (result.returncode, result.stdout, result.stderr) == (1, f"{path}:{line}:{column}: error: {message}\n", "")


def test_a_file_that_cannot_be_read_is_status_2(tmp_path):
    missing = tmp_path / "missing.yaml"
    result = run("check", missing)
    assert (result.returncode, result.stdout, result.stderr) == (2, "", module_error(missing) + "\n")
    result = run("show", missing, "r1")
    assert (result.returncode, result.stdout, result.stderr) == (2, "", module_error(missing) + "\n")


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
        str(path) for path, name in zip(paths, names) if name in ("warning", "error")}
    assert result.stderr == ("" if "missing" not in names else module_error(tmp_path / "missing") + "\n")


TYPO_AND_INVALID = one_reader("tensor_paralel: 2", after="    r2: {model_name: m, device: gpu, consumer_group: g}\n")


def test_the_three_formats(tmp_path):
    path = write(tmp_path, TYPO_AND_INVALID, "a,b:c%.yaml")
    typo = "unknown key `tensor_paralel` in reader r1; did you mean `tensor_parallel`?"
    invalid = f"readers_config.r2.device: {DEVICE}"
    text = run("check", path)
    assert text.stdout.splitlines() == [f"{path}:8:7: warning: {typo}", f"{path}:9:33: error: {invalid}"]
    github = run("check", "--format=github", path)
    escaped = str(path).replace("%", "%25").replace(":", "%3A").replace(",", "%2C")
    assert github.stdout.splitlines() == [f"::warning file={escaped},line=8,col=7::{typo}",
                                          f"::error file={escaped},line=9,col=33::{invalid}"]
    as_json = run("check", "--format", "json", path, tmp_path / "missing.yaml")
    assert json.loads(as_json.stdout) == [
        {"file": str(path), "line": 8, "column": 7, "severity": "warning", "reader": "r1", "field": None,
         "message": typo},
        {"file": str(path), "line": 9, "column": 33, "severity": "error", "reader": "r2", "field": "device",
         "message": invalid},
    ]
    assert [text.returncode, github.returncode, as_json.returncode] == [1, 1, 2]
    assert run("check", "--format", "json", EXAMPLE).stdout == "[]\n"


@pytest.mark.parametrize("text, position, reader_and_field", [
    (one_reader("max_batch_size: many"), (8, 23), ("r1", "max_batch_size")),
    (UNREADABLE["missing field"], (5, 7), ("r1", None)),
    (one_reader(server="{port: x}"), (2, 25), (None, None)),
    (UNREADABLE["no product key"], (1, 1), (None, None)),
], ids=["in a field", "in a reader", "in server_config", "nowhere"])
def test_json_names_the_reader_and_field_of_a_reading_error(tmp_path, text, position, reader_and_field):
    path = write(tmp_path, text)
    [finding] = json.loads(run("check", "--format", "json", path).stdout)
    assert finding == {"file": str(path), "line": position[0], "column": position[1], "severity": "error",
                       "reader": reader_and_field[0], "field": reader_and_field[1], "message": module_error(path)}


def test_github_escapes_percent_and_line_breaks_in_messages(tmp_path):
    invalid = write(tmp_path, one_reader(after='    "50%": {model_name: m, device: x, consumer_group: g}\n'), "a.yaml")
    unreadable = write(tmp_path, one_reader(after='    "a\\nb": {model_name: m, device: x, max_batch_size: x}\n'), "b.yaml")
    escaped = module_error(unreadable).replace("\n", "%0A")
    assert "%0A" in escaped
    assert run("check", "--format", "github", invalid, unreadable).stdout.splitlines() == [
        f"::error file={invalid},line=8,col=36::readers_config.50%25.device: {DEVICE}",
        f"::error file={unreadable},line=8,col=56::{escaped}"]


# Manifests with their expected validity under the JSON Schema; the module
# reads exactly the valid ones, except for a misspelt key, which it ignores.
SCHEMA_CASES = {
    "some server settings": (one_reader(server="{port: 3000, echo: true}"), True),
    "every server setting": (manifest(), True),
    "other entries of the same shape": (one_reader(after="other:\n  server_config:\n  readers_config:\n"), True),
    "largest values": (one_reader("max_batch_size: 18446744073709551615", "tensor_parallel: 4294967295",
                                  server="{port: 65535, body_size_limit_bytes: 18446744073709551615}"), True),
    "numbers where text goes": (one_reader("page_cache_size: 4096", "log_level: 1.5", "backend: true"), True),
    "no device": ("brintel:\n  server_config:\n  readers_config:\n    r1: {model_name: m, consumer_group: g}\n", False),
    "no server_config": ("brintel:\n  readers_config: {}\n", False),
    "no brintel": (manifest(key="other"), False),
    "other entry of another shape": (one_reader(after="other: 1\n"), False),
    "wrong type": (one_reader("max_batch_size: many"), False),
    "boolean for a number": (one_reader("nvlink_unavailable: true"), False),
    "number for a boolean": (one_reader(server="{echo: 1}"), False),
    "port out of range": (one_reader(server="{port: 65536}"), False),
    "u32 out of range": (one_reader("tensor_parallel: 4294967296"), False),
    "misspelt reader key": (one_reader("tensor_paralel: 2"), False),
}


@pytest.fixture(scope="module")
def validator():
    result = run("schema")
    assert (result.returncode, result.stderr) == (0, "")
    schema = json.loads(result.stdout)
    jsonschema.Draft202012Validator.check_schema(schema)
    return jsonschema.Draft202012Validator(schema)


def reads(path) -> bool:
    try:
        read_brintel_readers_config(str(path), "r1")
    except Exception as error:
        return "No reader with id" in str(error)
    return True


@pytest.mark.parametrize("text, valid", SCHEMA_CASES.values(), ids=SCHEMA_CASES.keys())
def test_the_schema_accepts_what_reading_accepts(tmp_path, validator, text, valid):
    path = write(tmp_path, text)
    assert validator.is_valid(yaml.safe_load(text)) == valid
    assert reads(path) == (valid or "tensor_paralel" in text)


def test_every_manifest_that_reads_without_warnings_fits_the_schema(tmp_path, validator):
    texts = [EXAMPLE.read_text(), TYPO_AND_INVALID.replace("tensor_paralel", "tensor_parallel")]
    # Other entries than brintel are closed records to the schema, but check does not examine them.
    texts += [text for name, (text, findings) in FINDINGS.items()
              if not any("warning" in f for f in findings) and not name.startswith("other")]
    for text in texts:
        assert reads(write(tmp_path, text)) and validator.is_valid(yaml.safe_load(text)), text


def test_manifests_the_module_writes_fit_the_schema(tmp_path, validator):
    path = write(tmp_path, manifest())
    ReaderConfig(model_name="m", device="cpu").add_to_manifest_yaml(str(path), "bare")
    ReaderConfig(model_name="0x10", device="cuda", consumer_group="", log_level="true", max_batch_size=2**64 - 1,
                 tensor_parallel=2**32 - 1, cuda_visible_devices="0,1").add_to_manifest_yaml(str(path), "001")
    written = yaml.safe_load(path.read_text())
    assert set(written["brintel"]["readers_config"]) == {"bare", "001"}
    assert validator.is_valid(written), list(validator.iter_errors(written))


def test_the_schema_describes_every_field_and_bounds_the_numbers(validator):
    definitions = validator.schema["$defs"]
    reader = definitions["ReaderConfig"]
    assert list(reader["properties"]) == FIELDS
    assert reader["required"] == ["model_name", "device", "consumer_group"]
    assert reader["properties"]["tensor_parallel"]["maximum"] == 2**32 - 1
    assert reader["properties"]["max_batch_size"]["maximum"] == 2**64 - 1
    assert definitions["OptionAppConfig"]["properties"]["port"]["maximum"] == 2**16 - 1
    for definition in definitions.values():
        assert definition["additionalProperties"] is False and definition["description"]
        assert all(field["description"] for field in definition["properties"].values())


def test_show_of_a_missing_reader_fails():
    result = run("show", EXAMPLE, "absent")
    assert (result.returncode, result.stdout) == (2, "")
    assert result.stderr == module_error(EXAMPLE, "absent") + "\n"


EVERY_FIELD = """\
r1:
  model_name: "quote\\" backslash\\\\ tab\\t nul\\0 bell\\a del\\x7f é 日本 🙂 </"
  device: cuda
  consumer_group: ""
  redis_host: "line\\nfeed\\rreturn"
  internal_gateway_ip: 10.0.0.1
  access_token: "\\x01\\x1f"
  log_level: ""
  backend: vllm
  cuda_visible_devices: "0,1"
  max_batch_size: 18446744073709551615
  batch_duration_millis: 0
  tensor_parallel: 4294967295
  quant_type: awq
  max_sequence_length: 4096
  nvlink_unavailable: 1
  disable_static: 0
  disable_cuda_graph: 1
  cuda_graph_cache_capacity: 8
  disable_paged_attention: 0
  page_cache_size: "4096"
"""


@pytest.mark.parametrize(
    "path_and_id",
    [(EXAMPLE, "r1"), (EXAMPLE, "embedder"), (None, "r1")],
    ids=["example r1", "example embedder", "every field with awkward text"],
)
def test_show_prints_the_exported_dict_as_json_in_field_order(tmp_path, path_and_id):
    path, reader_id = path_and_id
    path = path or write(tmp_path, manifest(EVERY_FIELD))
    result = run("show", path, reader_id)
    assert (result.returncode, result.stderr) == (0, "")
    shown = json.loads(result.stdout)
    assert shown == read_brintel_readers_config(str(path), reader_id).dict_without_optionals()
    assert list(shown) == [name for name in FIELDS if name in shown]


def test_show_escapes_control_characters_and_keeps_utf8(tmp_path):
    stdout = run("show", write(tmp_path, manifest(EVERY_FIELD)), "r1").stdout
    assert r'"quote\" backslash\\ tab\t nul\u0000 bell\u0007 del' + "\x7f é 日本 🙂 </\"" in stdout
    assert r'"redis_host": "line\nfeed\rreturn"' in stdout
    assert r'"access_token": "\u0001\u001f"' in stdout
    assert '"max_batch_size": 18446744073709551615,' in stdout


CHECK_USAGE = ["usage: brintel-config check [--format text|json|github] [--strict] MANIFEST..."]
PROGRAM_USAGE = [CHECK_USAGE[0], "       brintel-config show MANIFEST READER_ID", "       brintel-config schema"]
SHOW_USAGE = ["usage: brintel-config show MANIFEST READER_ID"]


@pytest.mark.parametrize("arguments", [["--help"], ["-h"], ["check", "--help"], ["show", "m", "-h"]])
def test_help_goes_to_stdout(arguments):
    result = run(*arguments)
    assert (result.returncode, result.stderr) == (0, "")
    assert result.stdout.startswith("usage: brintel-config")


def test_each_command_describes_itself():
    assert run("check", "--help").stdout.splitlines()[0] == CHECK_USAGE[0]
    assert run("show", "--help").stdout.splitlines()[0] == SHOW_USAGE[0]
    overview = run("--help").stdout
    assert overview.splitlines()[:3] == PROGRAM_USAGE
    assert "\n  check " in overview and "\n  show " in overview and "\n  schema " in overview


@pytest.mark.parametrize(
    ("arguments", "message", "usage"),
    [
        ([], "brintel-config: missing command", PROGRAM_USAGE),
        (["frob"], "brintel-config: unknown command 'frob'", PROGRAM_USAGE),
        (["--frob"], "brintel-config: unknown option '--frob'", PROGRAM_USAGE),
        (["check"], "brintel-config check: missing MANIFEST", CHECK_USAGE),
        (["check", "--strict=1", "a"], "brintel-config check: option '--strict' takes no value", CHECK_USAGE),
        (["check", "a", "--format"], "brintel-config check: option '--format' needs a value: text, json or github",
         CHECK_USAGE),
        (["check", "--format=xml", "a"],
         "brintel-config check: invalid value 'xml' for option '--format': choose text, json or github", CHECK_USAGE),
        (["schema", "a"], "brintel-config schema: unexpected argument 'a'", ["usage: brintel-config schema"]),
        (["show", "a"], "brintel-config show: missing READER_ID", SHOW_USAGE),
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

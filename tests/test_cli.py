"""The brintel-config command installed beside the interpreter."""

import json
import subprocess
import sys
import textwrap
import types
from pathlib import Path

import pytest

from brintel_config import ReaderConfig, read_brintel_readers_config
from manifests import manifest, reader

COMMAND = Path(sys.executable).parent / "brintel-config"
EXAMPLE = Path(__file__).resolve().parent.parent / "examples" / "manifest.yaml"

DEVICE = "device must be either 'cpu' or 'cuda' for local models, or 'api' for api-based models"
CPU_PARALLEL = "tensor_parallel is not supported on cpu"
COUNT = "If providing cuda_visible_devices, tensor_parallel cannot be larger than the number of devices provided"
ODD = "tensor_parallel must be 1 or even, if specified."
LIST = "cuda_visible_devices must be a comma separated string of integers like '0,1'"

# The getters are registered in declared field order.
FIELD_ORDER = [name for name, member in vars(ReaderConfig).items() if isinstance(member, types.GetSetDescriptorType)]


def run(*arguments, **kwargs) -> subprocess.CompletedProcess:
    return subprocess.run([str(COMMAND), *map(str, arguments)], capture_output=True, text=True, timeout=600, **kwargs)


def write(tmp_path, text: str, name: str = "manifest.yaml") -> Path:
    path = tmp_path / name
    path.write_text(text)
    return path


def readers(**by_id: dict) -> str:
    """The body of readers_config: one reader() per id."""
    return "".join(f"{reader_id}:\n" + textwrap.indent(reader(**fields), "  ") + "\n"
                   for reader_id, fields in by_id.items())


def module_error(path, reader_id: str = "r1") -> str:
    with pytest.raises(Exception) as caught:
        read_brintel_readers_config(str(path), reader_id)
    return str(caught.value)


def test_the_example_manifest_is_sound():
    result = run("check", EXAMPLE)
    assert (result.returncode, result.stdout, result.stderr) == (0, "", "")


def test_check_lists_every_finding_by_sorted_reader_id(tmp_path):
    body = readers(
        zeta={"device": "gpu"},
        sound={"device": "cuda", "tensor_parallel": 2, "cuda_visible_devices": '"0,1"'},
        alpha={"device": "cpu", "tensor_parallel": 3, "cuda_visible_devices": "a"},
    )
    body += '"line\\nbreak":\n' + textwrap.indent(reader(device="CPU"), "  ") + "\n"
    path = write(tmp_path, manifest(body))
    result = run("check", path)
    assert result.returncode == 1
    assert result.stderr == ""
    assert result.stdout.splitlines() == [
        f"alpha: tensor_parallel: {CPU_PARALLEL}",
        f"alpha: tensor_parallel: {COUNT}",
        f"alpha: tensor_parallel: {ODD}",
        f"alpha: cuda_visible_devices: {LIST}",
        f'"line\\nbreak": device: {DEVICE}',
        f"zeta: device: {DEVICE}",
    ]


def test_a_manifest_without_readers_is_sound(tmp_path):
    assert run("check", write(tmp_path, manifest())).returncode == 0


UNREADABLE = {
    "missing file": None,
    "malformed yaml": "brintel: [unclosed\n",
    "wrong type": manifest(readers(r1={"max_batch_size": "many"})),
    "no product key": manifest(key="other"),
}


@pytest.mark.parametrize("text", UNREADABLE.values(), ids=UNREADABLE.keys())
@pytest.mark.parametrize("command", [("check",), ("show", "r1")], ids=["check", "show"])
def test_an_unreadable_manifest_fails_with_the_modules_text(tmp_path, text, command):
    path = tmp_path / "manifest.yaml" if text is None else write(tmp_path, text)
    result = run(command[0], path, *command[1:])
    assert (result.returncode, result.stdout) == (2, "")
    assert result.stderr == module_error(path) + "\n"


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
    assert list(shown) == [name for name in FIELD_ORDER if name in shown]


def test_show_escapes_control_characters_and_keeps_utf8(tmp_path):
    stdout = run("show", write(tmp_path, manifest(EVERY_FIELD)), "r1").stdout
    assert r'"quote\" backslash\\ tab\t nul\u0000 bell\u0007 del' + "\x7f é 日本 🙂 </\"" in stdout
    assert r'"redis_host": "line\nfeed\rreturn"' in stdout
    assert r'"access_token": "\u0001\u001f"' in stdout
    assert '"max_batch_size": 18446744073709551615,' in stdout


PROGRAM_USAGE = ["usage: brintel-config check MANIFEST", "       brintel-config show MANIFEST READER_ID"]
CHECK_USAGE = ["usage: brintel-config check MANIFEST"]
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
    assert overview.splitlines()[:2] == PROGRAM_USAGE
    assert "\n  check " in overview and "\n  show " in overview


@pytest.mark.parametrize(
    ("arguments", "message", "usage"),
    [
        ([], "brintel-config: missing command", PROGRAM_USAGE),
        (["frob"], "brintel-config: unknown command 'frob'", PROGRAM_USAGE),
        (["--frob"], "brintel-config: unknown option '--frob'", PROGRAM_USAGE),
        (["check"], "brintel-config check: missing MANIFEST", CHECK_USAGE),
        (["check", "a", "b"], "brintel-config check: unexpected argument 'b'", CHECK_USAGE),
        (["check", "--strict", "a"], "brintel-config check: unknown option '--strict'", CHECK_USAGE),
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

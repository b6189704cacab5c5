"""Running the brintel-config command installed beside the interpreter."""

import functools
import json
import re
import subprocess
import sys
from pathlib import Path

import jsonschema
import pytest

from brintel_config import read_brintel_readers_config

COMMAND = Path(sys.executable).parent / "brintel-config"
EXAMPLE = Path(__file__).resolve().parent.parent / "examples" / "manifest.yaml"


def run(*arguments, **kwargs) -> subprocess.CompletedProcess:
    kwargs.setdefault("capture_output", True)
    return subprocess.run([str(COMMAND), *map(str, arguments)], text=True, timeout=600, **kwargs)


def write(tmp_path, text: str, name: str = "manifest.yaml") -> Path:
    path = tmp_path / name
    path.write_text(text)
    return path


def module_error(path, reader_id: str = "r1") -> str:
    with pytest.raises(Exception) as caught:
        read_brintel_readers_config(str(path), reader_id)
    return str(caught.value)


def one_reader(*lines: str, device: str = "cuda", server: str = "{}", after: str = "") -> str:
    """Reader r1 on lines 4-7 (device's value at 6:15), then `lines` in it
    from line 8 on (a value at column len(key) + 9), then `after`."""
    head = (f"brintel:\n  server_config: {server}\n  readers_config:\n"
            f"    r1:\n      model_name: m\n      device: {device}\n      consumer_group: g\n")
    return head + "".join(f"      {line}\n" for line in lines) + after


def position(message: str) -> tuple[int, int] | None:
    """The line and column that a reading error's text ends with."""
    at = re.search(r" at line (\d+) column (\d+)$", message)
    return (int(at[1]), int(at[2])) if at else None


@functools.cache
def schema_validator() -> jsonschema.Draft202012Validator:
    """A validator of the schema that `brintel-config schema` prints."""
    result = run("schema")
    assert (result.returncode, result.stderr) == (0, "")
    schema = json.loads(result.stdout)
    jsonschema.Draft202012Validator.check_schema(schema)
    return jsonschema.Draft202012Validator(schema)

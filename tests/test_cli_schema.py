"""brintel-config schema: the JSON Schema agrees with reading and validation."""

import re

import pytest
import yaml
from hypothesis import given, settings
from hypothesis import strategies as st

from brintel_config import ReaderConfig, read_brintel_readers_config
from command import one_reader, run, schema_validator, write
from manifests import READER_FIELDS, REQUIRED, U32_MAX, U64_MAX, manifest


@pytest.fixture
def validator():
    return schema_validator()


def reads_and_validates(path) -> bool:
    """Whether reading takes the manifest and every reader of it validates."""
    try:
        read_brintel_readers_config(str(path), "r1")
    except Exception as error:
        if "No reader with id" not in str(error):
            return False
    readers = yaml.safe_load(path.read_text())["brintel"]["readers_config"] or {}
    for reader_id in readers:
        try:
            read_brintel_readers_config(str(path), reader_id).validate()
        except Exception:
            return False
    return True


# Manifests with their validity under the JSON Schema: what reads and
# validates, except a misspelt key (which reading ignores) and too many
# tensor-parallel devices (which a schema cannot count).
SCHEMA_CASES = {
    "some server settings": (one_reader(server="{port: 3000, echo: true}"), True),
    "every server setting": (manifest(), True),
    "other entries of the same shape": (one_reader(after="other:\n  server_config:\n  readers_config:\n"), True),
    "largest values": (one_reader("max_batch_size: 18446744073709551615", "tensor_parallel: 4294967294",
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
    "unknown device": (one_reader(device="gpu"), False),
    "api device": (one_reader(device="api"), True),
    "odd tensor_parallel": (one_reader("tensor_parallel: 3"), False),
    "zero tensor_parallel": (one_reader("tensor_parallel: 0"), False),
    "tensor_parallel 1": (one_reader("tensor_parallel: 1"), True),
    "tensor_parallel on cpu": (one_reader("tensor_parallel: 2", device="cpu"), False),
    "tensor_parallel 1 on cpu": (one_reader("tensor_parallel: 1", device="cpu"), False),
    "unset tensor_parallel on cpu": (one_reader("tensor_parallel: ~", device="cpu"), True),
    "device list": (one_reader('cuda_visible_devices: "0,1"', "tensor_parallel: 2"), True),
    "one device as a number": (one_reader("cuda_visible_devices: 3"), True),
    "device list with a blank": (one_reader('cuda_visible_devices: "0, 1"'), False),
    "device list with a trailing comma": (one_reader('cuda_visible_devices: "0,1,"'), False),
    "empty device list": (one_reader("cuda_visible_devices: ''"), False),
    "device number beyond 32 bits": (one_reader("cuda_visible_devices: '4294967296'"), False),
    "signed device numbers": (one_reader("cuda_visible_devices: '+0,+1'"), True),
}


@pytest.mark.parametrize("text, valid", SCHEMA_CASES.values(), ids=SCHEMA_CASES.keys())
def test_the_schema_accepts_what_reading_and_validation_accept(tmp_path, validator, text, valid):
    path = write(tmp_path, text)
    assert validator.is_valid(yaml.safe_load(text)) == valid
    assert reads_and_validates(path) == (valid or "tensor_paralel" in text)


# Device lists as validation sees them: pieces of digits with signs, blanks
# and letters, around the bounds of 32 bits.
PIECES = st.one_of(st.text("0123456789+- a", max_size=4), st.sampled_from(
    ["4294967295", "4294967296", "04294967295", "9999999999", "4294967289", "4294967300", "+0", "00", ""]))


@settings(max_examples=300, deadline=None)
@given(st.lists(PIECES, min_size=1, max_size=4).map(",".join))
def test_the_device_list_pattern_is_the_validation_rule(devices):
    reader = ReaderConfig(model_name="m", device="cuda", cuda_visible_devices=devices)
    try:
        reader.validate()
        valid = True
    except Exception as error:
        valid = "cuda_visible_devices must be" not in str(error)
    document = {"brintel": {"server_config": {}, "readers_config": {
        "r1": {"model_name": "m", "device": "cuda", "consumer_group": "g", "cuda_visible_devices": devices}}}}
    assert schema_validator().is_valid(document) == valid


def test_the_schema_says_what_it_cannot_express(validator):
    description = validator.schema["$defs"]["ReaderConfig"]["description"]
    assert re.search(r"tensor_parallel .* number of devices in cuda_visible_devices", description)


def test_manifests_the_module_writes_fit_the_schema(tmp_path, validator):
    path = write(tmp_path, manifest())
    ReaderConfig(model_name="m", device="cpu").add_to_manifest_yaml(str(path), "bare")
    ReaderConfig(model_name="0x10", device="cuda", consumer_group="", log_level="true", max_batch_size=2**64 - 1,
                 tensor_parallel=2**32 - 2, cuda_visible_devices="0,1").add_to_manifest_yaml(str(path), "001")
    written = yaml.safe_load(path.read_text())
    assert set(written["brintel"]["readers_config"]) == {"bare", "001"}
    assert validator.is_valid(written), list(validator.iter_errors(written))


def test_the_schema_describes_every_field_and_bounds_the_numbers(validator):
    definitions = validator.schema["$defs"]
    reader = definitions["ReaderConfig"]
    assert reader["required"] == REQUIRED
    maxima = {"u32": U32_MAX, "u64": U64_MAX}
    assert [(name, field.get("maximum")) for name, field in reader["properties"].items()] == [
        (name, maxima.get(field.width)) for name, field in READER_FIELDS.items()]
    assert definitions["OptionAppConfig"]["properties"]["port"]["maximum"] == 2**16 - 1
    for definition in definitions.values():
        assert definition["additionalProperties"] is False and definition["description"]
        assert all(field["description"] for field in definition["properties"].values())


MERGED = ("brintel:\n  server_config: {}\n  readers_config:\n"
          "    r1:\n      <<: {device: cuda}\n      model_name: m\n      consumer_group: g\n")

# What a JSON Schema cannot see once YAML has become data: each manifest
# fits the schema as PyYAML loads it, fails check, and is named in the
# schema's description.
UNSEEN = {
    "-0": one_reader("max_batch_size: -0"),
    "1_000": one_reader("max_batch_size: 1_000"),
    '!!int "8"': one_reader('max_batch_size: !!int "8"'),
    "0x1": one_reader("cuda_visible_devices: 0x1"),
    "merge keys": MERGED,
    "server_config: ~": "brintel:\n  server_config: ~\n  readers_config: {}\n",
}


@pytest.mark.parametrize("named, text", UNSEEN.items(), ids=UNSEEN.keys())
def test_the_schema_names_what_it_cannot_see(tmp_path, validator, named, text):
    assert named in validator.schema["description"]
    assert validator.is_valid(yaml.safe_load(text))
    assert run("check", write(tmp_path, text)).returncode == 1

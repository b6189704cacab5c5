import inspect
import json

import pytest

import brintel_config
from brintel_config import ReaderConfig

from manifests import FIELDS

U64_MAX = 2**64 - 1
U32_MAX = 2**32 - 1


def read_reader(tmp_path, fields):
    lines = ["brintel:", "  server_config: {}", "  readers_config:", "    r1:"]
    lines += [f"      {key}: {json.dumps(value)}" for key, value in fields.items()]
    path = tmp_path / "manifest.yaml"
    path.write_text("\n".join(lines) + "\n")
    return brintel_config.read_brintel_readers_config(str(path), "r1")


def exported(reader):
    result = reader.dict_without_optionals()
    assert type(result) is dict
    for key, value in result.items():
        assert type(key) is str
        assert type(value) in (str, int), (key, value)
    return result


BASE = {"model_name": "m", "device": "cpu", "consumer_group": ""}


@pytest.mark.parametrize(
    "keywords, expected",
    [
        ({}, {"model_name": "", "device": "", "consumer_group": ""}),
        ({"model_name": "m", "device": "cpu"}, BASE),
        ({"model_name": "m", "device": "cuda", "consumer_group": "g"},
         {"model_name": "m", "device": "cuda", "consumer_group": "g"}),
        ({"model_name": "m", "device": "cpu", "cuda_visible_devices": "0,1"}, BASE),
        ({"model_name": "m", "device": "cpu", "log_level": ""}, {**BASE, "log_level": ""}),
        ({"model_name": "m", "device": "cpu", "max_batch_size": 0}, {**BASE, "max_batch_size": 0}),
        ({"model_name": "m", "device": "cpu", "max_batch_size": U64_MAX}, {**BASE, "max_batch_size": U64_MAX}),
        ({"model_name": "m", "device": "cpu", "tensor_parallel": True}, {**BASE, "tensor_parallel": 1}),
        ({"model_name": "m", "device": "cpu", "tensor_parallel": 0, "max_sequence_length": U32_MAX},
         {**BASE, "tensor_parallel": 0, "max_sequence_length": U32_MAX}),
        ({"model_name": "m", "device": "cpu", "max_batch_size": None, "tensor_parallel": None}, BASE),
    ],
)
def test_entries_of_constructed_readers(keywords, expected):
    assert exported(ReaderConfig(**keywords)) == expected


def test_instance_attributes_and_results_stay_apart():
    reader = ReaderConfig(model_name="m", device="cpu", log_level="info")
    reader.note = "x"
    first = exported(reader)
    first["model_name"] = "changed"
    second = exported(reader)
    assert second is not first
    assert second == {**BASE, "log_level": "info"}
    assert reader.model_name == "m"


ALL_FIELDS = {
    "model_name": "m", "device": "cuda", "consumer_group": "g", "redis_host": "h",
    "internal_gateway_ip": "10.0.0.1", "access_token": "", "log_level": "debug", "backend": "b",
    "cuda_visible_devices": "0,1", "max_batch_size": U64_MAX, "batch_duration_millis": 0,
    "tensor_parallel": 2, "quant_type": "q", "max_sequence_length": 8192, "nvlink_unavailable": 1,
    "disable_static": 0, "disable_cuda_graph": 1, "cuda_graph_cache_capacity": U32_MAX,
    "disable_paged_attention": 0, "page_cache_size": "4096",
}


def test_every_field_set_exports_nineteen_entries_in_field_order(tmp_path):
    assert list(ALL_FIELDS) == FIELDS
    fields = {**ALL_FIELDS, "page_cache_size": 4096}  # a plain scalar still reads as a string
    result = exported(read_reader(tmp_path, fields))
    expected = {key: value for key, value in ALL_FIELDS.items() if key != "cuda_visible_devices"}
    assert result == expected
    assert list(result) == [key for key in FIELDS if key != "cuda_visible_devices"]


def test_flag_like_fields_export_ints_not_bools(tmp_path):
    result = exported(read_reader(tmp_path, {**BASE, "nvlink_unavailable": 1, "disable_static": 0}))
    assert result == {**BASE, "nvlink_unavailable": 1, "disable_static": 0}


def test_export_is_a_method_without_arguments():
    assert str(inspect.signature(ReaderConfig.dict_without_optionals)) == "(self, /)"
    with pytest.raises(TypeError):
        ReaderConfig().dict_without_optionals(1)
    with pytest.raises(TypeError):
        ReaderConfig.dict_without_optionals(object())

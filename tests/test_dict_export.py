import inspect

import pytest

from brintel_config import ReaderConfig

from manifests import EVERY_FIELD_VALUES, U32_MAX, U64_MAX, every_field, manifest


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


# Flag-like fields among them: exported() holds every value to str or int, never bool.
def test_every_set_field_but_the_device_list_is_exported_in_field_order(read_manifest):
    result = exported(read_manifest(manifest(every_field())))
    expected = {key: value for key, value in EVERY_FIELD_VALUES.items() if key != "cuda_visible_devices"}
    assert list(result.items()) == list(expected.items())


def test_export_is_a_method_without_arguments():
    assert str(inspect.signature(ReaderConfig.dict_without_optionals)) == "(self, /)"
    with pytest.raises(TypeError):
        ReaderConfig().dict_without_optionals(1)
    with pytest.raises(TypeError):
        ReaderConfig.dict_without_optionals(object())


# Short text is decoded from a copy where the C++ runtime keeps it at an odd
# address: every length around the copy's moves of 4, 8 and 16 bytes and its
# bound of 32, in ASCII and with a character of two and of four bytes last.
@pytest.mark.parametrize("length", range(0, 36))
@pytest.mark.parametrize("last", ["z", "é", "🙂"])
def test_text_of_every_short_length_comes_back_whole(length, last):
    text = "".join(chr(ord("a") + i % 26) for i in range(length)) + last
    reader = ReaderConfig(model_name="m", device="cpu", consumer_group=text, log_level=text[1:])
    assert (reader.consumer_group, reader.log_level) == (text, text[1:])
    assert exported(reader) == {**BASE, "consumer_group": text, "log_level": text[1:]}

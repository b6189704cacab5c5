import inspect
import pathlib

import pytest

import brintel_config
from brintel_config import ReaderConfig, read_brintel_readers_config

from manifests import manifest, reader

NAME = "read_brintel_readers_config()"


@pytest.fixture
def in_tmp(tmp_path, monkeypatch):
    monkeypatch.chdir(tmp_path)
    return tmp_path


def test_metadata():
    function = read_brintel_readers_config
    assert function.__module__ == "brintel_config"
    assert function.__name__ == "read_brintel_readers_config"
    assert function.__text_signature__ == '(path="str", reader_id="str")'
    assert str(inspect.signature(function)) == "(path='str', reader_id='str')"
    assert function.__doc__ == (
        "Read the reader config for reader_id: reader_id from the manifest yaml file.\n"
        "If no such reader is found, return an error to be raised in python"
    )
    assert type(function).__name__ == "builtin_function_or_method"


@pytest.mark.parametrize(
    "args, kwargs, expected",
    [
        ((), {}, "File Not Found on path: str"),
        (("m.yaml",), {}, "Invalid Value: No reader with id str found in manifest.yaml"),
        ((), {"path": "m.yaml"}, "Invalid Value: No reader with id str found in manifest.yaml"),
        ((), {"reader_id": "r1"}, "File Not Found on path: str"),
    ],
)
def test_omitted_arguments_are_the_text_str(in_tmp, args, kwargs, expected):
    (in_tmp / "m.yaml").write_text(manifest("r1:\n" + "  " + reader().replace("\n", "\n  ")))
    with pytest.raises(Exception) as excinfo:
        read_brintel_readers_config(*args, **kwargs)
    assert type(excinfo.value) is Exception and excinfo.value.args == (expected,)


def test_a_file_named_str_with_a_reader_named_str(in_tmp):
    (in_tmp / "str").write_text(manifest("str:\n  " + reader(model_name="found").replace("\n", "\n  ")))
    assert read_brintel_readers_config().model_name == "found"


@pytest.mark.parametrize(
    "args, kwargs, message",
    [
        (("a", "b", "c"), {}, f"{NAME} takes from 0 to 2 positional arguments but 3 were given"),
        (("a",), {"path": "b"}, f"{NAME} got multiple values for argument 'path'"),
        (("a", "b"), {"reader_id": "c"}, f"{NAME} got multiple values for argument 'reader_id'"),
        ((), {"colour": "x", "path": 1}, f"{NAME} got an unexpected keyword argument 'colour'"),
        ((), {"reader_id": None, "Path": "x"}, f"{NAME} got an unexpected keyword argument 'Path'"),
        (("m.yaml", None), {}, "argument 'reader_id': 'NoneType' object cannot be converted to 'PyString'"),
        ((pathlib.Path("m.yaml"),), {}, "argument 'path': 'PosixPath' object cannot be converted to 'PyString'"),
        ((b"m.yaml",), {}, "argument 'path': 'bytes' object cannot be converted to 'PyString'"),
        # path is converted before reader_id
        ((1, 2), {}, "argument 'path': 'int' object cannot be converted to 'PyString'"),
    ],
)
def test_argument_errors(in_tmp, args, kwargs, message):
    with pytest.raises(TypeError) as excinfo:
        read_brintel_readers_config(*args, **kwargs)
    assert str(excinfo.value) == message


def test_lone_surrogate_is_the_interpreters_encoding_error():
    with pytest.raises(UnicodeEncodeError):
        read_brintel_readers_config("\udcff")


def test_each_call_returns_a_new_equal_object(tmp_path):
    path = tmp_path / "m.yaml"
    path.write_text(manifest("r1:\n  " + reader(max_batch_size="0x10").replace("\n", "\n  ")))
    first = read_brintel_readers_config(str(path), "r1")
    second = read_brintel_readers_config(path=str(path), reader_id="r1")
    assert type(first) is ReaderConfig and first is not second
    assert first.dict_without_optionals() == second.dict_without_optionals() == {
        "model_name": "m", "device": "cuda", "consumer_group": "g", "max_batch_size": 16}


def test_str_subclass_path(tmp_path):
    class Text(str):
        pass

    path = tmp_path / "m.yaml"
    path.write_text(manifest("r1:\n  " + reader().replace("\n", "\n  ")))
    assert read_brintel_readers_config(Text(path), Text("r1")).device == "cuda"

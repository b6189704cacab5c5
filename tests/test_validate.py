import inspect
import json

import pytest

import brintel_config
from brintel_config import ReaderConfig

from manifests import (COUNT_REASON, CPU_PARALLEL_REASON, DEVICE_REASON, LIST_REASON, ODD_REASON,
                       ZERO_REASON)

CPU_PARALLEL = ("tensor_parallel", CPU_PARALLEL_REASON)
DEVICE = ("device", DEVICE_REASON)
COUNT = ("tensor_parallel", COUNT_REASON)
ODD = ("tensor_parallel", ODD_REASON)
ZERO = ("tensor_parallel", ZERO_REASON)
LIST = ("cuda_visible_devices", LIST_REASON)


def display(*findings):
    entries = ", ".join(
        f'ValidationError {{ field: Field("{field}"), error_type: Invalid("{reason}") }}' for field, reason in findings
    )
    return f"Validation Errors: [{entries}]"


def read_reader(tmp_path, **fields):
    reader = {"model_name": "m", "consumer_group": "g", **fields}
    lines = ["brintel:", "  server_config: {}", "  readers_config:", "    r1:"]
    lines += [f"      {key}: {json.dumps(value)}" for key, value in reader.items()]
    path = tmp_path / "manifest.yaml"
    path.write_text("\n".join(lines) + "\n")
    return brintel_config.read_brintel_readers_config(str(path), "r1")


def assert_findings(reader, findings):
    if not findings:
        assert reader.validate() is None
        return
    with pytest.raises(Exception) as caught:
        reader.validate()
    assert type(caught.value) is Exception
    assert caught.value.args == (display(*findings),)


CONSTRUCTIBLE = [
    ({"device": "cpu"}, []),
    ({"device": "cpu", "tensor_parallel": 1}, [CPU_PARALLEL]),
    ({"device": "cpu", "tensor_parallel": 0}, [CPU_PARALLEL, ZERO]),
    ({"device": "cpu", "tensor_parallel": 3, "cuda_visible_devices": "a"}, [CPU_PARALLEL, COUNT, ODD, LIST]),
    ({"device": "cuda", "tensor_parallel": 2}, []),
    ({"device": "cuda", "tensor_parallel": 5}, [ODD]),
    ({"device": "cuda", "tensor_parallel": 4294967295}, [ODD]),
    ({"device": "cuda", "tensor_parallel": 4294967294}, []),
    ({"device": "cuda", "tensor_parallel": 0}, [ZERO]),
    ({"device": "cuda", "tensor_parallel": 0, "cuda_visible_devices": ""}, [ZERO, LIST]),
    ({"device": "cuda", "tensor_parallel": None, "cuda_visible_devices": None}, []),
    ({"device": "cuda", "tensor_parallel": 4, "cuda_visible_devices": "0,1"}, [COUNT]),
    ({"device": "cuda", "tensor_parallel": 2, "cuda_visible_devices": "0,1"}, []),
    ({"device": "cuda", "tensor_parallel": 3, "cuda_visible_devices": "0,1"}, [COUNT, ODD]),
    ({"device": "cuda", "tensor_parallel": 2, "cuda_visible_devices": ""}, [COUNT, LIST]),
    ({"device": "cuda", "tensor_parallel": 3, "cuda_visible_devices": "0,1,"}, [ODD, LIST]),
    ({"device": "cuda", "tensor_parallel": 4, "cuda_visible_devices": "0,1,"}, [COUNT, LIST]),
    ({"device": "cuda", "tensor_parallel": 2, "cuda_visible_devices": "a,b"}, [LIST]),
    ({"device": "cuda", "tensor_parallel": 2, "cuda_visible_devices": "0,0"}, []),
    ({"device": "cuda", "tensor_parallel": 2, "cuda_visible_devices": "7,123456"}, []),
    ({"device": "cuda", "tensor_parallel": 2, "cuda_visible_devices": "0;1"}, [COUNT, LIST]),
]


@pytest.mark.parametrize("keywords, findings", CONSTRUCTIBLE)
def test_findings_of_constructed_readers(keywords, findings):
    assert_findings(ReaderConfig(model_name="m", **keywords), findings)


@pytest.mark.parametrize(
    "devices",
    ["0", "0,1", "+0,+1", "4294967295", "0004294967295", "09,010", "1,2,3,4,5,6,7,8"],
)
def test_device_lists_that_pass(devices):
    assert_findings(ReaderConfig(model_name="m", device="cuda", cuda_visible_devices=devices), [])


@pytest.mark.parametrize(
    "devices",
    ["", "-1", "4294967296", "99999999999999999999", "0, 1", " 0", "0 ", "0;1", "0,1,", ",0", "x,y,z",
     "++1", "+", "+-1", "1+", "0x1", "1.0", "1e3", "\u0661", "\uff11", "0,\n1"],
)
def test_device_lists_with_one_finding(devices):
    assert_findings(ReaderConfig(model_name="m", device="cuda", cuda_visible_devices=devices), [LIST])


def test_full_display_text_and_exception_shape(tmp_path):
    reader = read_reader(tmp_path, device="gpu", tensor_parallel=3)
    with pytest.raises(Exception) as caught:
        reader.validate()
    expected = (
        "Validation Errors: [ValidationError { field: Field(\"device\"), error_type: Invalid(\"device must be "
        "either 'cpu' or 'cuda' for local models, or 'api' for api-based models\") }, ValidationError { field: "
        "Field(\"tensor_parallel\"), error_type: Invalid(\"tensor_parallel must be 1 or even, if specified.\") }]"
    )
    assert type(caught.value) is Exception
    assert caught.value.args == (expected,)
    assert str(caught.value) == expected


@pytest.mark.parametrize(
    "fields, findings",
    [
        ({"device": "gpu"}, [DEVICE]),
        ({"device": "CPU"}, [DEVICE]),
        ({"device": "CPU", "tensor_parallel": 1}, [DEVICE]),
        ({"device": "Cuda"}, [DEVICE]),
        ({"device": "cuda "}, [DEVICE]),
        ({"device": ""}, [DEVICE]),
        ({"device": "api"}, []),
        ({"device": "api", "tensor_parallel": 2}, []),
        ({"device": "api", "tensor_parallel": 1}, []),
        ({"device": "gpu", "tensor_parallel": 2, "cuda_visible_devices": "x"}, [DEVICE, COUNT, LIST]),
    ],
)
def test_findings_of_devices_the_constructor_refuses(tmp_path, fields, findings):
    assert_findings(read_reader(tmp_path, **fields), findings)


def test_validate_leaves_the_record_alone_and_repeats():
    reader = ReaderConfig(model_name="m", device="cpu", tensor_parallel=3, cuda_visible_devices="0,1")
    texts = []
    for _ in range(2):
        with pytest.raises(Exception) as caught:
            reader.validate()
        texts.append(caught.value.args)
    assert texts[0] == texts[1]
    assert (reader.device, reader.tensor_parallel, reader.cuda_visible_devices) == ("cpu", 3, "0,1")


def test_validate_is_a_method_without_arguments():
    assert str(inspect.signature(ReaderConfig.validate)) == "(self, /)"
    with pytest.raises(TypeError):
        ReaderConfig(model_name="m", device="cpu").validate(1)
    with pytest.raises(TypeError):
        ReaderConfig.validate(object())

import pytest

from brintel_config import AppConfig, ReaderConfig

from manifests import EMPTY_READER, FIELDS, U64_MAX, fields_of


@pytest.mark.parametrize(
    "build", [lambda: ReaderConfig(), lambda: ReaderConfig(**{})], ids=["no-arguments", "empty-mapping"]
)
def test_call_without_keywords_builds_the_empty_record_unchecked(build):
    reader = build()
    assert fields_of(reader) == EMPTY_READER


def test_full_keyword_set_and_ignored_keywords():
    reader = ReaderConfig(
        model_name="m", device="cuda", consumer_group="g", log_level="",
        cuda_visible_devices="0,1", max_batch_size=U64_MAX, tensor_parallel=2,
        max_sequence_length=4294967295,
        redis_host="h", quant_type="q", unknown_keyword=object(), Model_Name="x",
        # a keyword that is not valid UTF-8, or not a str at all, is as unknown as any other
        **{"\ud800": 1, "model_name\udcff": None, 1: 2, (1,): 2, b"model_name": 2, None: 2, 1.5: 2},
    )
    expected = dict.fromkeys(FIELDS)
    expected.update(
        model_name="m", device="cuda", consumer_group="g", log_level="",
        cuda_visible_devices="0,1", max_batch_size=U64_MAX, tensor_parallel=2,
        max_sequence_length=4294967295,
    )
    assert fields_of(reader) == expected


def test_class_layout():
    members = [n for n in vars(ReaderConfig) if not n.startswith("_")]
    assert members == FIELDS + ["dict_without_optionals", "validate", "add_to_manifest_yaml"]
    assert ReaderConfig.__module__ == "builtins"
    assert ReaderConfig.__qualname__ == "ReaderConfig"
    assert ReaderConfig.__text_signature__ == "(**kwargs)"
    assert ReaderConfig.__weakrefoffset__ == 0
    assert AppConfig.__module__ == "builtins"
    assert AppConfig.__doc__ == "The app configuration"
    assert repr(ReaderConfig()).startswith("<builtins.ReaderConfig object at 0x")


@pytest.mark.parametrize(
    "kwargs, error, message",
    [
        ({"model_name": "m"}, TypeError, "device must be either 'cpu' or 'cuda'"),
        ({"device": "cpu"}, TypeError, "model_name cannot be empty"),
        ({"model_name": "", "device": "gpu"}, TypeError, "model_name cannot be empty"),
        ({"model_name": "m", "device": "CPU"}, TypeError, "device must be either 'cpu' or 'cuda'"),
        ({"model_name": "m", "device": "api"}, TypeError, "device must be either 'cpu' or 'cuda'"),
        ({"model_name": "m", "device": "cuda "}, TypeError, "device must be either 'cpu' or 'cuda'"),
        ({"model_name": 5, "device": "x"}, TypeError, "'int' object cannot be converted to 'PyString'"),
        ({"model_name": "m", "device": "cpu", "log_level": None}, TypeError,
         "'NoneType' object cannot be converted to 'PyString'"),
        ({"model_name": None}, TypeError, "'NoneType' object cannot be converted to 'PyString'"),
        ({"consumer_group": b"g"}, TypeError, "'bytes' object cannot be converted to 'PyString'"),
        ({"cuda_visible_devices": 1}, TypeError, "'int' object cannot be converted to 'PyString'"),
        ({"tensor_parallel": -1}, OverflowError, "out of range integral type conversion attempted"),
        ({"tensor_parallel": 2**32}, OverflowError, "out of range integral type conversion attempted"),
        ({"max_sequence_length": 2**32}, OverflowError, "out of range integral type conversion attempted"),
        ({"max_batch_size": -1}, OverflowError, "can't convert negative int to unsigned"),
        ({"max_batch_size": 2**64}, OverflowError, "int too big to convert"),
        ({"max_batch_size": 1.5}, TypeError, "'float' object cannot be interpreted as an integer"),
        ({"tensor_parallel": "2"}, TypeError, "'str' object cannot be interpreted as an integer"),
        # a conversion failure wins over the checks that follow
        ({"device": "gpu", "max_batch_size": -1}, OverflowError, "can't convert negative int to unsigned"),
    ],
)
def test_constructor_refusals(kwargs, error, message):
    with pytest.raises(error) as excinfo:
        ReaderConfig(**kwargs)
    assert type(excinfo.value) is error
    assert str(excinfo.value) == message


def test_tensor_parallel_beyond_c_long_is_the_interpreters_overflow():
    with pytest.raises(OverflowError, match="too large to convert to C long"):
        ReaderConfig(tensor_parallel=2**70)


@pytest.mark.parametrize("count, verb", [(1, "was"), (2, "were")])
def test_positional_arguments_are_refused(count, verb):
    with pytest.raises(TypeError) as excinfo:
        ReaderConfig(*["m"] * count)
    assert str(excinfo.value) == (
        f"ReaderConfig.__new__() takes 0 positional arguments but {count} {verb} given"
    )


class Index:
    def __init__(self, value):
        self.value = value

    def __index__(self):
        return self.value


@pytest.mark.parametrize(
    "keyword, value, stored",
    [
        ("tensor_parallel", True, 1),
        ("tensor_parallel", False, 0),
        ("tensor_parallel", 4294967295, 4294967295),
        ("tensor_parallel", Index(7), 7),
        ("max_sequence_length", 0, 0),
        ("max_batch_size", U64_MAX, U64_MAX),
        ("max_batch_size", True, 1),
        ("max_batch_size", Index(2**63), 2**63),
        ("max_batch_size", None, None),
        ("tensor_parallel", None, None),
        ("cuda_visible_devices", None, None),
        ("log_level", "", ""),
    ],
)
def test_keyword_conversions(keyword, value, stored):
    reader = ReaderConfig(model_name="m", device="cpu", **{keyword: value})
    got = getattr(reader, keyword)
    assert got == stored and type(got) is type(stored)


def test_str_subclass_is_accepted_and_stored_as_plain_text():
    class Name(str):
        pass

    reader = ReaderConfig(model_name=Name("m"), device=Name("cuda"))
    assert type(reader.model_name) is str and reader.model_name == "m"


def test_lone_surrogate_raises_the_encoding_error():
    with pytest.raises(UnicodeEncodeError):
        ReaderConfig(model_name="\ud800", device="cpu")


def test_non_ascii_text_round_trips():
    reader = ReaderConfig(model_name="modèle-\u4e2d\U0001f600", device="cpu", consumer_group="a\0b")
    assert reader.model_name == "modèle-\u4e2d\U0001f600"
    assert reader.consumer_group == "a\0b"


def test_fields_are_read_only_and_instance_attributes_are_free():
    reader = ReaderConfig(model_name="m", device="cpu")
    for name in ("model_name", "tensor_parallel"):
        with pytest.raises(AttributeError):
            setattr(reader, name, "x")
        with pytest.raises(AttributeError):
            delattr(reader, name)
    reader.note = "kept"
    assert reader.__dict__ == {"note": "kept"}
    assert reader.model_name == "m"


def test_getters_return_fresh_objects():
    reader = ReaderConfig(model_name="m" * 100, device="cpu")
    assert reader.model_name is not reader.model_name


def test_descriptors_check_their_receiver():
    with pytest.raises(TypeError):
        ReaderConfig.model_name.__get__(object())


def test_not_subclassable():
    with pytest.raises(TypeError, match="is not an acceptable base type"):
        type("Sub", (ReaderConfig,), {})


def test_no_weak_references():
    import weakref

    with pytest.raises(TypeError):
        weakref.ref(ReaderConfig())


@pytest.mark.parametrize("args, kwargs", [((), {}), ((1,), {}), ((), {"echo": True})])
def test_app_config_has_no_constructor(args, kwargs):
    with pytest.raises(TypeError) as excinfo:
        AppConfig(*args, **kwargs)
    assert str(excinfo.value) == "No constructor defined"


def test_app_config_is_not_subclassable_and_has_no_members():
    with pytest.raises(TypeError):
        type("Sub", (AppConfig,), {})
    assert [n for n in vars(AppConfig) if not n.startswith("__")] == []


def test_instance_cycles_are_collected():
    import gc
    import weakref

    class Marker:
        pass

    reader = ReaderConfig(model_name="m", device="cpu")
    marker = Marker()
    reader.me = reader
    reader.marker = marker
    probe = weakref.ref(marker)
    del reader, marker
    gc.collect()
    assert probe() is None

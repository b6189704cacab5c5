"""Properties of the layer that turns Python objects into records and back."""

import re

import pytest
from hypothesis import HealthCheck, given, settings
from hypothesis import strategies as st

from brintel_config import ReaderConfig, read_brintel_readers_config

from manifests import EMPTY_READER, FIELDS, fields_of, manifest

# A fixed budget and no example database: CI time stays flat and the work
# tree stays clean.
bounded = settings(
    max_examples=150, deadline=None, database=None, suppress_health_check=[HealthCheck.too_slow]
)

TEXT_KEYWORDS = ["model_name", "device", "consumer_group", "log_level", "cuda_visible_devices"]
U32_KEYWORDS = ["tensor_parallel", "max_sequence_length"]
KEYWORDS = TEXT_KEYWORDS + ["max_batch_size"] + U32_KEYWORDS
NOT_KEYWORDS = [f for f in FIELDS if f not in KEYWORDS]

# Every refusal the constructor may raise: its own texts and the interpreter's
# conversion texts.
ALLOWED_REFUSALS = {
    TypeError: re.compile(
        r"model_name cannot be empty|device must be either 'cpu' or 'cuda'"
        r"|'\w+' object cannot be (converted to 'PyString'|interpreted as an integer)"
    ),
    OverflowError: re.compile(
        r"out of range integral type conversion attempted|can't convert negative int to unsigned"
        r"|int too big to convert|Python int too large to convert to C long"
    ),
}

lone_surrogate = st.characters(min_codepoint=0xD800, max_codepoint=0xDFFF)
any_text = st.text(max_size=8) | st.builds(str.__add__, st.text(max_size=3), lone_surrogate)
any_keyword = st.sampled_from(FIELDS + ["Model_Name"]) | any_text
any_value = (
    st.none() | st.booleans() | st.integers(min_value=-(2**70), max_value=2**70)
    | st.sampled_from(["cpu", "cuda", "m", ""]) | any_text | st.floats() | st.binary(max_size=4)
)


def has_surrogate(value) -> bool:
    return isinstance(value, str) and any(0xD800 <= ord(c) <= 0xDFFF for c in value)


@bounded
@given(st.dictionaries(any_keyword, any_value, max_size=10))
def test_any_keywords_build_a_reader_or_raise_an_allowed_refusal(kwargs):
    try:
        reader = ReaderConfig(**kwargs)
    except UnicodeEncodeError:
        # Only a text value, never a keyword, may fail to encode.
        assert any(has_surrogate(kwargs.get(k)) for k in TEXT_KEYWORDS)
    except (TypeError, OverflowError) as e:
        assert ALLOWED_REFUSALS[type(e)].fullmatch(str(e)), repr(e)
    else:
        # Each understood keyword sets its own field to the value given; no
        # other keyword sets anything.
        given = {k: v for k, v in kwargs.items() if k in KEYWORDS and v is not None}
        assert fields_of(reader) == {**EMPTY_READER, **given}


text = st.text(max_size=12)
u32 = st.integers(min_value=0, max_value=2**32 - 1)
valid_keywords = st.fixed_dictionaries(
    {"model_name": text.filter(bool), "device": st.sampled_from(["cpu", "cuda"])},
    optional={
        "consumer_group": text, "log_level": text, "cuda_visible_devices": text,
        "max_batch_size": st.integers(min_value=0, max_value=2**64 - 1),
        "tensor_parallel": u32, "max_sequence_length": u32,
    },
)


@bounded
@given(valid_keywords, st.dictionaries(st.sampled_from(NOT_KEYWORDS), text, max_size=3))
def test_getters_return_what_was_given_and_the_dict_equals_them(given_keywords, ignored):
    reader = ReaderConfig(**{**ignored, **given_keywords})
    expected = dict.fromkeys(FIELDS)
    expected.update({"consumer_group": ""}, **given_keywords)
    fields = fields_of(reader)
    assert fields == expected
    assert all(type(fields[k]) is type(v) for k, v in given_keywords.items())

    exported = {k: v for k, v in fields.items() if v is not None and k != "cuda_visible_devices"}
    assert reader.dict_without_optionals() == exported


@pytest.fixture(scope="module")
def store(tmp_path_factory):
    return str(tmp_path_factory.mktemp("store") / "manifest.yaml")


@bounded
@given(valid_keywords, text)
def test_a_written_reader_reads_back_equal(store, given_keywords, reader_id):
    with open(store, "w") as f:
        f.write(manifest())
    reader = ReaderConfig(**given_keywords)
    reader.add_to_manifest_yaml(store, reader_id)
    assert fields_of(read_brintel_readers_config(store, reader_id)) == fields_of(reader)

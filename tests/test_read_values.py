"""How manifest scalars become reader fields: numbers, nulls, strings,
booleans, tags, the descriptions in type errors, and map-level rules."""

import pytest

from brintel_config import read_brintel_readers_config

from manifests import (EVERY_FIELD_VALUES, FIELDS, READER, S, U32_MAX, U64_MAX, every_field, fields_of as fields,
                       fields_of_width, manifest as complete_manifest, reader_with)

U32_FIELDS = fields_of_width("u32")
U64_FIELDS = fields_of_width("u64")

READERS = "  readers_config:\n    r1: {model_name: m, device: cpu, consumer_group: g}\n"


def reader_suffix(key):
    return f" at line 8 column {len(key) + 9}"


def server_with(key, value):
    """`key: value` on line 3 inside server_config; block scalars continue at 6 blanks."""
    return f"brintel:\n  server_config:\n    {key}: {value}\n" + READERS


# Unsigned integers: sign, prefixes, digit case, 64-bit limits, and the tags
# that leave a plain scalar a number.
@pytest.mark.parametrize("key, text, value", [
    ("tensor_parallel", "0", 0),
    ("tensor_parallel", "+8", 8),
    ("tensor_parallel", "0x10", 16),
    ("tensor_parallel", "0xfF", 255),
    ("tensor_parallel", "+0x1f", 31),
    ("tensor_parallel", "0o17", 15),
    ("tensor_parallel", "0b11", 3),
    ("tensor_parallel", "0b0001", 1),
    ("tensor_parallel", "4294967295", U32_MAX),
    ("tensor_parallel", "0xFFFFFFFF", U32_MAX),
    ("tensor_parallel", "!!int 7", 7),
    ("tensor_parallel", "!!int |-\n        7", 7),
    ("tensor_parallel", "!!str 7", 7),
    ("tensor_parallel", "!!float 7", 7),
    ("tensor_parallel", "!local 7", 7),
    ("tensor_parallel", "!<tag:example.com,2000:n> 7", 7),
    ("max_batch_size", "18446744073709551615", U64_MAX),
    ("max_batch_size", "+18446744073709551615", U64_MAX),
    ("max_batch_size", "0xFFFFFFFFFFFFFFFF", U64_MAX),
    ("max_batch_size", "0o1777777777777777777777", U64_MAX),
    ("max_batch_size", "0b" + "1" * 64, U64_MAX),
    ("max_batch_size", "0x00000000000000000000ff", 255),
    # the most digits that cannot overflow, and one more
    ("max_batch_size", "9999999999999999999", 10**19 - 1),
    ("max_batch_size", "+9999999999999999999", 10**19 - 1),
    ("max_batch_size", "10000000000000000000", 10**19),
    ("batch_duration_millis", "250", 250),
])
def test_unsigned_forms(read_manifest, key, text, value):
    assert getattr(read_manifest(reader_with(key, text)), key) == value


@pytest.mark.parametrize("key", U32_FIELDS + U64_FIELDS)
def test_every_number_field(read_manifest, read_error, key):
    assert getattr(read_manifest(reader_with(key, "4294967295")), key) == U32_MAX
    if key in U64_FIELDS:
        assert getattr(read_manifest(reader_with(key, "4294967296")), key) == 2**32
        expected = "u64"
    else:
        assert read_error(reader_with(key, "4294967296")) == (
            f"{S}brintel.readers_config.r1.{key}: invalid value: integer `4294967296`, expected u32"
            + reader_suffix(key))
        expected = "u32"
    assert read_error(reader_with(key, "true")) == (
        f"{S}brintel.readers_config.r1.{key}: invalid type: boolean `true`, expected {expected}"
        + reader_suffix(key))


# What a type error says stands where a u64 was expected.
@pytest.mark.parametrize("text, found", [
    ("08", 'string "08"'), ("007", 'string "007"'), ("+01", 'string "+01"'), ("-00", 'string "-00"'),
    ("0X10", 'string "0X10"'), ("0x", 'string "0x"'), ("0o8", 'string "0o8"'), ("0b2", 'string "0b2"'),
    ("0x-1", 'string "0x-1"'), ("+-1", 'string "+-1"'), ("++1", 'string "++1"'),
    ("1_000", 'string "1_000"'), ("12abc", 'string "12abc"'), ("inf", 'string "inf"'),
    ("nan", 'string "nan"'), ("-.nan", 'string "-.nan"'), ("1e400", 'string "1e400"'),
    ("yes", 'string "yes"'), ("''", 'string ""'), ("'~'", 'string "~"'), ('"8080"', 'string "8080"'),
    ("'true'", 'string "true"'), ("|\n        7", 'string "7\\n"'), (">-\n        7", 'string "7"'),
    ("-2", "integer `-2`"), ("-0", "integer `0`"), ("-0x10", "integer `-16`"), ("-0b11", "integer `-3`"),
    ("-9223372036854775808", "integer `-9223372036854775808`"),
    ("-9223372036854775809", "integer `-9223372036854775809` as i128"),
    ("-18446744073709551616", "integer `-18446744073709551616` as i128"),
    ("-170141183460469231731687303715884105728", "integer `-170141183460469231731687303715884105728` as i128"),
    ("18446744073709551616", "integer `18446744073709551616` as u128"),
    ("0x10000000000000000", "integer `18446744073709551616` as u128"),
    ("340282366920938463463374607431768211455", "integer `340282366920938463463374607431768211455` as u128"),
    ("!!int 18446744073709551616", "integer `18446744073709551616` as u128"),
    # beyond 128 bits an integer form has no number type: it is text, not a rounded float
    ("340282366920938463463374607431768211456", 'string "340282366920938463463374607431768211456"'),
    ("-170141183460469231731687303715884105729", 'string "-170141183460469231731687303715884105729"'),
    ("1" * 61, 'string "' + "1" * 61 + '"'),
    ("0x1" + "0" * 32, 'string "0x1' + "0" * 32 + '"'),
    ("8.0", "floating point `8.0`"), ("1e3", "floating point `1000.0`"), ("1E3", "floating point `1000.0`"),
    ("1.5e-3", "floating point `0.0015`"), ("-1.5", "floating point `-1.5`"), ("+1.", "floating point `1.0`"),
    (".5", "floating point `0.5`"), ("0.10", "floating point `0.1`"), ("00.5", "floating point `0.5`"),
    ("1e20", "floating point `100000000000000000000.0`"), ("1e-7", "floating point `0.0000001`"),
    ("1e23", "floating point `100000000000000000000000.0`"),
    ("-1e23", "floating point `-100000000000000000000000.0`"),
    ("1e300", "floating point `1" + "0" * 300 + ".0`"), ("5e-324", "floating point `0." + "0" * 323 + "5`"),
    ("123456789012345678901234567890.5", "floating point `123456789012345680000000000000.0`"),
    ("0.0", "floating point `0.0`"), ("-0.0", "floating point `-0.0`"), ("1.25e2", "floating point `125.0`"),
    (".inf", "floating point `inf`"), ("+.inf", "floating point `inf`"), (".Inf", "floating point `inf`"),
    (".INF", "floating point `inf`"), ("-.inf", "floating point `-inf`"), ("-.INF", "floating point `-inf`"),
    (".nan", "floating point `NaN`"), (".NaN", "floating point `NaN`"), (".NAN", "floating point `NaN`"),
    ("true", "boolean `true`"), ("FALSE", "boolean `false`"),
    ("[1]", "sequence"), ("[]", "sequence"), ("{a: 1}", "map"), ("{}", "map"),
    ("!!bool 'false'", "boolean `false`"), ("!!float '5'", "floating point `5.0`"), ("!!null '~'", "unit value"),
    ("!local ~", "unit value"), ("!local '5'", 'string "5"'), ("!<tag:example.com,2000:x> true", 'string "true"'),
])
def test_found_descriptions(read_error, text, found):
    assert read_error(reader_with("max_batch_size", text)) == (
        f"{S}brintel.readers_config.r1.max_batch_size: invalid type: {found}, expected u64"
        + reader_suffix("max_batch_size"))


# Escapes inside a found string; single quotes and printable non-ASCII stay.
@pytest.mark.parametrize("text, found", [
    (r'"a\nb"', r'"a\nb"'), (r'"tab\there"', r'"tab\there"'), (r'"cr\r"', r'"cr\r"'),
    (r'"say \"hi\""', r'"say \"hi\""'), (r'"back\\slash"', r'"back\\slash"'), (r"'a\b'", r'"a\\b"'),
    (r'"nul\0end"', r'"nul\0end"'), (r'"bell\x07"', r'"bell\u{7}"'), (r'"del\x7f"', r'"del\u{7f}"'),
    (r'"e\u0301"', r'"e\u{301}"'), (r'"zero\u200bwidth"', r'"zero\u{200b}width"'),
    ("'café'", '"café"'), ("é", '"é"'), ("'日本'", '"日本"'), ("'😀'", '"😀"'), ("'it''s'", '"it\'s"'),
])
def test_found_string_escapes(read_error, text, found):
    assert read_error(reader_with("max_batch_size", text)) == (
        f"{S}brintel.readers_config.r1.max_batch_size: invalid type: string {found}, expected u64"
        + reader_suffix("max_batch_size"))


# Escaped by class: characters without a glyph of their own, and those that
# would join the quotation mark before them. The YAML escape makes each one.
@pytest.mark.parametrize("escape, shown", [
    # controls, C0 and C1
    (r"\x01", r"\u{1}"), (r"\x1b", r"\u{1b}"), (r"\x85", r"\u{85}"), (r"\x9f", r"\u{9f}"),
    # formats, a tag character among them
    (r"\xad", r"\u{ad}"), (r"\u200d", r"\u{200d}"), (r"\ufeff", r"\u{feff}"), (r"\U000e0041", r"\u{e0041}"),
    # separators other than the plain space
    (r"\xa0", r"\u{a0}"), (r"\u2028", r"\u{2028}"), (r"\u2029", r"\u{2029}"), (r"\u3000", r"\u{3000}"),
    # unassigned, noncharacters among them
    (r"\u0378", r"\u{378}"), (r"\ufdd0", r"\u{fdd0}"), (r"\U0002fffe", r"\u{2fffe}"), (r"\U0010ffff", r"\u{10ffff}"),
    # private use
    (r"\ue000", r"\u{e000}"), (r"\U000f0000", r"\u{f0000}"), (r"\U0010fffd", r"\u{10fffd}"),
    # grapheme extenders: nonspacing, enclosing, the spacing vowel signs that
    # extend, halfwidth sound marks, the non-joiner
    (r"\u0300", r"\u{300}"), (r"\u20dd", r"\u{20dd}"), (r"\u09be", r"\u{9be}"), (r"\uff9e", r"\u{ff9e}"),
    (r"\u200c", r"\u{200c}"), (r"\U000e0100", r"\u{e0100}"),
    # printable non-ASCII stays: letters, a spacing mark that does not extend,
    # an emoji skin tone, the replacement character, a letter new in Unicode 15.0
    (r"\xe9", "é"), (r"\u0903", "\u0903"), (r"\U0001f3fb", "\U0001f3fb"), (r"\ufffd", "\ufffd"),
    (r"\U000323af", "\U000323af"), (r"\uac00", "\uac00"), (r" \x41", " A"),
])
def test_found_string_escapes_by_class(read_error, escape, shown):
    assert read_error(reader_with("max_batch_size", f'"x{escape}"')) == (
        f'{S}brintel.readers_config.r1.max_batch_size: invalid type: string "x{shown}", expected u64'
        + reader_suffix("max_batch_size"))


@pytest.mark.parametrize("text, message", [
    ("!!int x", 'invalid value: string "x", expected an integer'),
    ("!!int |\n        5", 'invalid value: string "5\\n", expected an integer'),
    ("!!float x", 'invalid value: string "x", expected a float'),
    ("!!float 007", 'invalid value: string "007", expected a float'),
    ("!!float -01", 'invalid value: string "-01", expected a float'),
    ("!!bool yes", 'invalid value: string "yes", expected a boolean'),
    ("!!null x", 'invalid value: string "x", expected null'),
    ("!!null 'x'", 'invalid value: string "x", expected null'),
    ("!!null ''", 'invalid value: string "", expected null'),
    ("!!null", 'invalid value: string "", expected null'),
])
def test_tag_that_does_not_fit_the_text(read_error, text, message):
    assert read_error(reader_with("max_batch_size", text)) == (
        f"{S}brintel.readers_config.r1.max_batch_size: {message}" + reader_suffix("max_batch_size"))


# Optional fields: the null spellings leave them unset, a quoted null is set.
@pytest.mark.parametrize("text", ["", "~", "null", "Null", "NULL", "!!null ~", "!!null null", "!!null NULL"])
def test_null_spellings_leave_optional_fields_unset(read_manifest, text):
    assert read_manifest(reader_with("tensor_parallel", text)).tensor_parallel is None
    assert read_manifest(reader_with("redis_host", text)).redis_host is None


@pytest.mark.parametrize("text, value", [
    ("'null'", "null"), ("''", ""), ('""', ""), ('"~"', "~"), ("nULL", "nULL"), ("NuLL", "NuLL"),
    ("!!str null", "null"), ("!local ~", "~"), ("!!null ''", ""), ("!!null 'x'", "x"), ("None", "None"),
])
def test_optional_string_set_by_other_scalars(read_manifest, text, value):
    assert read_manifest(reader_with("redis_host", text)).redis_host == value


# A scalar's text as the file holds it, after text that is not ASCII: on one
# line as written, or rebuilt from escapes, folded lines and block scalars.
@pytest.mark.parametrize("text, value", [
    ("café", "café"), ("😀 a  b", "😀 a  b"), ("a#b", "a#b"), ("ü   # comment", "ü"),
    ("'naïve'", "naïve"), ("'it''s ü'", "it's ü"), ('"日本"', "日本"), ('"é\\t\\u00e9"', "é\té"),
    ("&x 語", "語"), ("!!str 語", "語"), ("&x\n        語", "語"), ("ä\n        b", "ä b"),
    ("|\n        ü\n        x", "ü\nx\n"), (">-\n        ü\n        x", "ü x"),
])
@pytest.mark.parametrize("before", ["", "# ünïcödé 😀\n", "\ufeff# ü\n"], ids=["ascii", "utf8", "bom"])
def test_texts_after_non_ascii(read_manifest, text, value, before):
    manifest = before + READER.replace("model_name: m", "model_name: mödel") + f"      log_level: {text}\n"
    reader = read_manifest((manifest + "      backend: bäck 2\n").encode())
    assert (reader.model_name, reader.log_level, reader.backend) == ("mödel", value, "bäck 2")


# A string field takes the text of any scalar, whatever its style or tag.
@pytest.mark.parametrize("text, value", [
    ("", ""), ("''", ""), ("~", "~"), ("null", "null"), ("4096", "4096"), ("0x10", "0x10"),
    ("1.50", "1.50"), ("true", "true"), ("-0", "-0"), ("'quoted # kept'", "quoted # kept"),
    ("plain # comment", "plain"), (r'"tab\tx"', "tab\tx"), ("'it''s'", "it's"),
    ("|\n        a\n        b", "a\nb\n"), ("|-\n        a\n        b", "a\nb"), (">\n        a\n        b", "a b\n"),
    ("!!int 12", "12"), ("!!null x", "x"), ("!!null ~", "~"), ("!!bool yes", "yes"), ("&anchor text", "text"),
])
def test_required_string_takes_any_scalar_text(read_manifest, text, value):
    manifest = READER.replace("model_name: m", f"model_name: {text}")
    assert read_manifest(manifest).model_name == value


@pytest.mark.parametrize("text, value", [
    ("4096", "4096"), ("4096.0", "4096.0"), ("0x1000", "0x1000"), ("true", "true"), ("'16GiB'", "16GiB"),
])
def test_page_cache_size_is_a_string(read_manifest, text, value):
    assert read_manifest(reader_with("page_cache_size", text)).page_cache_size == value


# Booleans, u16, u64 and usize only exist in server_config: a successful
# read shows a value was accepted, the error text shows how one was refused.
@pytest.mark.parametrize("key, text", [
    ("echo", "true"), ("echo", "True"), ("echo", "TRUE"), ("enable_metrics", "false"),
    ("enable_metrics", "False"), ("allow_remote_images", "FALSE"), ("echo", "!!bool |-\n      true"),
    ("echo", "!!str false"), ("echo", "!local True"), ("echo", "~"), ("echo", ""), ("echo", "!!null null"),
    ("port", "65535"), ("port", "0"), ("port", "0xFFFF"), ("internal_port", "+80"), ("port", "!!int 80"),
    ("heartbeat_check_interval", "18446744073709551615"), ("body_size_limit_bytes", "0xFFFFFFFFFFFFFFFF"),
    ("repository_path", "123"), ("repository_path", ""), ("unknown_setting", "[whatever]"),
])
def test_server_values_accepted(read_manifest, key, text):
    assert read_manifest(server_with(key, text)).model_name == "m"


@pytest.mark.parametrize("key, text, message", [
    *[("echo", word, f'invalid type: string "{word}", expected a boolean')
      for word in ["yes", "no", "on", "off", "y", "tRue"]],
    ("enable_metrics", "1", "invalid type: integer `1`, expected a boolean"),
    ("allow_remote_images", "0", "invalid type: integer `0`, expected a boolean"),
    ("echo", "1.0", "invalid type: floating point `1.0`, expected a boolean"),
    ("echo", "'true'", 'invalid type: string "true", expected a boolean'),
    ("echo", '"false"', 'invalid type: string "false", expected a boolean'),
    ("echo", ">-\n      true", 'invalid type: string "true", expected a boolean'),
    ("echo", "[]", "invalid type: sequence, expected a boolean"),
    ("echo", "{}", "invalid type: map, expected a boolean"),
    ("echo", "!!bool yes", 'invalid value: string "yes", expected a boolean'),
    ("echo", "!!bool |\n      true", 'invalid value: string "true\\n", expected a boolean'),
    ("echo", "!!bool 'true'", "invalid type: boolean `true`, expected a boolean"),
    ("echo", "!!int |-\n      1", "invalid type: integer `1`, expected a boolean"),
    *[(key, "70000", "invalid value: integer `70000`, expected u16")
      for key in ["port", "management_port", "vertex_port", "openai_port", "snowflake_port", "internal_port"]],
    ("port", "0x10000", "invalid value: integer `65536`, expected u16"),
    ("port", "'8080'", 'invalid type: string "8080", expected u16'),
    ("port", "-1", "invalid type: integer `-1`, expected u16"),
    ("port", "80.0", "invalid type: floating point `80.0`, expected u16"),
    ("port", "18446744073709551616", "invalid type: integer `18446744073709551616` as u128, expected u16"),
    ("echo", "-9223372036854775809", "invalid type: integer `-9223372036854775809` as i128, expected a boolean"),
    ("body_size_limit_bytes", "-1", "invalid type: integer `-1`, expected usize"),
    ("body_size_limit_bytes", "18446744073709551616",
     "invalid type: integer `18446744073709551616` as u128, expected usize"),
    ("heartbeat_check_interval", "1e3", "invalid type: floating point `1000.0`, expected u64"),
    ("repository_path", "{}", "invalid type: map, expected a string"),
])
def test_server_values_refused(read_error, key, text, message):
    assert read_error(server_with(key, text)) == (
        f"{S}brintel.server_config.{key}: {message} at line 3 column {len(key) + 7}")


def test_unknown_keys_of_any_shape_are_ignored(read_manifest):
    reader = read_manifest("""\
        brintel:
          comment: [1, {a: b}, [c]]
          server_config: {bogus: {deep: [1, 2]}, echo: true, Port: not-a-number}
          readers_config:
            r1:
              model_name: m
              extra: &x {nested: [1, 2, {x: y}]}
              extra: *x
              Model_Name: ignored
              'model_name ': ignored
              device: cpu
              consumer_group: g
              123: 4
              ~: null
          more: !!binary aGVsbG8=
        """)
    assert fields(reader) == {**dict.fromkeys(FIELDS), "model_name": "m", "device": "cpu", "consumer_group": "g"}


def test_keys_are_any_scalar_text(read_manifest):
    reader = read_manifest("""\
        'brintel':
          "server_config": {}
          ? readers_config
          :
            r1:
              &k 'model_name': m
              "device": cpu
              consumer_group: g
              ? |-
                max_batch_size
              : 5
        """)
    assert (reader.model_name, reader.device, reader.max_batch_size) == ("m", "cpu", 5)


def test_alias_as_key_counts_as_that_field(read_error):
    manifest = READER.replace("model_name: m", "&k model_name: m") + "      *k : again\n"
    assert read_error(manifest) == S + "brintel.readers_config.r1: duplicate field `model_name` at line 5 column 7"


def test_unknown_key_may_repeat(read_manifest):
    assert read_manifest(READER + "      x: 1\n      x: [2]\n").model_name == "m"


BASE = """\
brintel:
  server_config: {}
  readers_config:
    base: &base
      model_name: from-base
      device: cuda
      consumer_group: g
      tensor_parallel: 2
"""


def test_merge_key_is_an_unknown_key_in_a_reader(read_manifest, read_error):
    merged = BASE + "    r1:\n      <<: *base\n      model_name: own\n      device: cpu\n      consumer_group: h\n"
    assert fields(read_manifest(merged)) == {
        **dict.fromkeys(FIELDS), "model_name": "own", "device": "cpu", "consumer_group": "h"}
    only_merge = BASE + "    r1:\n      <<: *base\n"
    assert read_error(only_merge) == S + "brintel.readers_config.r1: missing field `model_name` at line 10 column 7"


def test_merge_key_is_a_reader_id(read_manifest):
    assert read_manifest(BASE + "    <<: *base\n", "<<").model_name == "from-base"


def test_alias_reuses_an_anchored_reader(read_manifest):
    manifest = BASE + "    r1: *base\n"
    base, alias = read_manifest(manifest, "base"), read_manifest(manifest, "r1")
    assert base is not alias
    assert fields(alias) == fields(base) == {
        **dict.fromkeys(FIELDS), "model_name": "from-base", "device": "cuda", "consumer_group": "g",
        "tensor_parallel": 2}


def test_alias_names_the_latest_anchor_before_it(read_manifest):
    manifest = BASE + "    other: &base {model_name: second, device: cpu, consumer_group: g}\n    r1: *base\n"
    assert read_manifest(manifest).model_name == "second"


def test_alias_to_a_scalar_fills_fields_of_every_type(read_manifest):
    reader = read_manifest(READER.replace("device: cpu", "device: &n 12") + "      log_level: *n\n"
                           "      tensor_parallel: *n\n      max_batch_size: *n\n")
    assert (reader.device, reader.log_level, reader.tensor_parallel, reader.max_batch_size) == ("12", "12", 12, 12)


@pytest.mark.parametrize("manifest, reader_id, model", [
    # a reader id given twice: the later entry is kept
    ("""\
     brintel:
       server_config: {}
       readers_config:
         r1: {model_name: first, device: cpu, consumer_group: g}
         r1: {model_name: second, device: cuda, consumer_group: h}
     """, "r1", "second"),
    # the product key given twice: the later entry is kept
    ("""\
     brintel:
       server_config: {}
       readers_config: {r1: {model_name: first, device: cpu, consumer_group: g}}
     brintel:
       server_config: {}
       readers_config: {r2: {model_name: second, device: cpu, consumer_group: g}}
     """, "r2", "second"),
    # empty server_config and extra keys in the manifest entry
    ("""\
     brintel:
       server_config:
       notes: {anything: [1, 2]}
       readers_config: {r1: {model_name: m, device: cpu, consumer_group: g}}
     """, "r1", "m"),
    # explicit document markers and a trailing comment
    ("""\
     %YAML 1.1
     ---
     brintel: {server_config: {}, readers_config: {r1: {model_name: m, device: cpu, consumer_group: g}}}
     ...
     # end
     """, "r1", "m"),
    # a reader under the empty id and one under a quoted id with blanks
    ("""\
     brintel:
       server_config: {}
       readers_config:
         '': {model_name: empty, device: cpu, consumer_group: g}
         " spaced id ": {model_name: spaced, device: cpu, consumer_group: g}
     """, " spaced id ", "spaced"),
])
def test_map_level_rules(read_manifest, manifest, reader_id, model):
    reader = read_manifest(manifest, reader_id)
    assert reader.model_name == model


def test_later_duplicate_reader_replaces_all_fields(read_manifest):
    reader = read_manifest(READER + "      log_level: info\n    r1: {model_name: x, device: cuda, consumer_group: h}\n")
    assert fields(reader) == {**dict.fromkeys(FIELDS), "model_name": "x", "device": "cuda", "consumer_group": "h"}


def test_every_field_reads_and_is_stored_as_it_reads(read_manifest, tmp_path):
    reader = read_manifest(complete_manifest(every_field()))
    assert fields(reader) == EVERY_FIELD_VALUES
    store = tmp_path / "store.yaml"
    store.write_text(complete_manifest())
    reader.add_to_manifest_yaml(str(store), "r2")
    assert fields(read_brintel_readers_config(str(store), "r2")) == EVERY_FIELD_VALUES

"""Error texts of read_brintel_readers_config: YAML refusals with their path
and position, and the file, product-key and reader-id failures."""

import os

import pytest

from manifests import READER, S, fields_of_width, reader_with

def server_with(key, value):
    """A server_config holding one line `key: value` (line 3, value at column len(key) + 7)."""
    return (f"brintel:\n  server_config:\n    {key}: {value}\n"
            "  readers_config:\n    r1: {model_name: m, device: cpu, consumer_group: g}\n")


# One wrong value for every scalar class, tag handling, and u16/u32 overflow.
@pytest.mark.parametrize("manifest, message", [
    (reader_with("max_batch_size", "many"),
     'brintel.readers_config.r1.max_batch_size: invalid type: string "many", expected u64 at line 8 column 23'),
    (reader_with("tensor_parallel", "-2"),
     "brintel.readers_config.r1.tensor_parallel: invalid type: integer `-2`, expected u32 at line 8 column 24"),
    (reader_with("redis_host", "[a, b]"),
     "brintel.readers_config.r1.redis_host: invalid type: sequence, expected a string at line 8 column 19"),
    (reader_with("redis_host", "{a: b}"),
     "brintel.readers_config.r1.redis_host: invalid type: map, expected a string at line 8 column 19"),
    (server_with("port", "x"),
     'brintel.server_config.port: invalid type: string "x", expected u16 at line 3 column 11'),
    (server_with("heartbeat_check_interval", "x"),
     'brintel.server_config.heartbeat_check_interval: invalid type: string "x", expected u64 at line 3 column 31'),
    (server_with("body_size_limit_bytes", "x"),
     'brintel.server_config.body_size_limit_bytes: invalid type: string "x", expected usize at line 3 column 28'),
    (server_with("echo", "yes"),
     'brintel.server_config.echo: invalid type: string "yes", expected a boolean at line 3 column 11'),
    (server_with("repository_path", "[a]"),
     "brintel.server_config.repository_path: invalid type: sequence, expected a string at line 3 column 22"),
    (server_with("port", "65536"),
     "brintel.server_config.port: invalid value: integer `65536`, expected u16 at line 3 column 11"),
    (server_with("management_port", "0x10000"),
     "brintel.server_config.management_port: invalid value: integer `65536`, expected u16 at line 3 column 22"),
    (reader_with("tensor_parallel", "4294967296"),
     "brintel.readers_config.r1.tensor_parallel: invalid value: integer `4294967296`, expected u32 at line 8 column 24"),
    # tags
    (reader_with("tensor_parallel", "!!null x"),
     'brintel.readers_config.r1.tensor_parallel: invalid value: string "x", expected null at line 8 column 24'),
    (reader_with("tensor_parallel", "!!null"),
     'brintel.readers_config.r1.tensor_parallel: invalid value: string "", expected null at line 8 column 24'),
    (reader_with("tensor_parallel", "!!bool true"),
     "brintel.readers_config.r1.tensor_parallel: invalid type: boolean `true`, expected u32 at line 8 column 24"),
    (reader_with("tensor_parallel", "!!bool yes"),
     'brintel.readers_config.r1.tensor_parallel: invalid value: string "yes", expected a boolean at line 8 column 24'),
    (reader_with("tensor_parallel", "!!int x"),
     'brintel.readers_config.r1.tensor_parallel: invalid value: string "x", expected an integer at line 8 column 24'),
    (reader_with("tensor_parallel", "!!int '7'"),
     "brintel.readers_config.r1.tensor_parallel: invalid type: integer `7`, expected u32 at line 8 column 24"),
    (reader_with("tensor_parallel", "!!int '0x10000000000000000'"),
     "brintel.readers_config.r1.tensor_parallel: invalid type: integer `18446744073709551616` as u128, expected u32"
     " at line 8 column 24"),
    (reader_with("tensor_parallel", "!!float 2.5"),
     "brintel.readers_config.r1.tensor_parallel: invalid type: floating point `2.5`, expected u32 at line 8 column 24"),
    (reader_with("tensor_parallel", "!!float x"),
     'brintel.readers_config.r1.tensor_parallel: invalid value: string "x", expected a float at line 8 column 24'),
    (reader_with("tensor_parallel", "!local true"),
     "brintel.readers_config.r1.tensor_parallel: invalid type: boolean `true`, expected u32 at line 8 column 24"),
    (reader_with("tensor_parallel", "!local 'true'"),
     'brintel.readers_config.r1.tensor_parallel: invalid type: string "true", expected u32 at line 8 column 24'),
    (reader_with("tensor_parallel", "!!str true"),
     'brintel.readers_config.r1.tensor_parallel: invalid type: string "true", expected u32 at line 8 column 24'),
    (server_with("echo", "!!str 1"),
     'brintel.server_config.echo: invalid type: string "1", expected a boolean at line 3 column 11'),
    (server_with("echo", "1"),
     "brintel.server_config.echo: invalid type: integer `1`, expected a boolean at line 3 column 11"),
])
def test_scalar_refusals(read_error, manifest, message):
    assert read_error(manifest) == S + message


# Columns count characters, not bytes: after lines that are not ASCII, on a
# line that is not, and behind a byte-order mark.
@pytest.mark.parametrize("manifest, message", [
    ("# ü😀\n" + reader_with("max_batch_size", "ünï"),
     'brintel.readers_config.r1.max_batch_size: invalid type: string "ünï", expected u64 at line 9 column 23'),
    ("brintel:\n  server_config: {}\n  readers_config:\n"
     "    r1: {model_name: 😀😀, device: ü, consumer_group: g, tensor_parallel: x}\n",
     'brintel.readers_config.r1.tensor_parallel: invalid type: string "x", expected u32 at line 4 column 73'),
    ("\ufeffbrintel:\n  server_config: {}\n  readers_config:\n    é: {device: ü}\n    r1: 1\n",
     "brintel.readers_config.é: missing field `model_name` at line 4 column 8"),
    ("brintel:\n  server_config: {}\n  readers_config:\n    r1:\n      device: 'ä'\n      device: ö\n",
     "brintel.readers_config.r1: duplicate field `device` at line 5 column 7"),
])
def test_positions_after_non_ascii(read_error, manifest, message):
    assert read_error(manifest.encode()) == S + message


# Record and map shapes: the record's path and the position of its first
# event (a block mapping's first key, a flow mapping's brace).
@pytest.mark.parametrize("manifest, message", [
    ("""\
     brintel:
       server_config: {}
       readers_config:
         r1:
           model_name: m
           consumer_group: g
     """, "brintel.readers_config.r1: missing field `device` at line 5 column 7"),
    ("""\
     brintel:
       server_config: {}
       readers_config:
         r1: {log_level: info}
     """, "brintel.readers_config.r1: missing field `model_name` at line 4 column 9"),
    ("""\
     brintel:
       server_config: {}
       readers_config:
         r1:
     """, "brintel.readers_config.r1: missing field `model_name` at line 4 column 8"),
    ("""\
     brintel:
       server_config: {}
       readers_config:
         r1:
           model_name: m
           device: cpu
           device: {never: read}
           consumer_group: g
     """, "brintel.readers_config.r1: duplicate field `device` at line 5 column 7"),
    ("""\
     brintel:
       server_config: {}
       readers_config: {}
       server_config: {}
     """, "brintel: duplicate field `server_config` at line 2 column 3"),
    ("""\
     brintel:
       readers_config: {}
     """, "brintel: missing field `server_config` at line 2 column 3"),
    ("brintel: {server_config: {}}\n", "brintel: missing field `readers_config` at line 1 column 10"),
    ("""\
     brintel:
       server_config: ~
       readers_config: {}
     """, "brintel.server_config: invalid type: unit value, expected struct OptionAppConfig at line 2 column 18"),
    ("""\
     brintel:
       server_config: {}
       readers_config: 5
     """, "brintel.readers_config: invalid type: integer `5`, expected a map at line 3 column 19"),
    ("""\
     brintel:
       server_config: {}
       readers_config: null
     """, "brintel.readers_config: invalid type: unit value, expected a map at line 3 column 19"),
    ("""\
     brintel:
       server_config: {}
       readers_config:
         r1: text
     """, 'brintel.readers_config.r1: invalid type: string "text", expected struct ReaderConfig at line 4 column 9'),
    ("""\
     brintel:
       server_config: {}
       readers_config:
         r1:
           - model_name
     """, "brintel.readers_config.r1: invalid type: sequence, expected struct ReaderConfig at line 5 column 7"),
    ("""\
     brintel:
       server_config: {}
       readers_config: {}
       ? {a: 1}
       : 2
     """, "brintel: invalid type: map, expected field identifier at line 4 column 5"),
    ("""\
     brintel:
       server_config: {}
       readers_config:
         r1: {[x]: 1}
     """, "brintel.readers_config.r1: invalid type: sequence, expected field identifier at line 4 column 10"),
    ("""\
     brintel:
       server_config: {}
       readers_config:
         ? [a]
         : {}
     """, "brintel.readers_config: invalid type: sequence, expected a string at line 4 column 7"),
    ("? {a: 1}\n: 2\n", "invalid type: map, expected a string at line 1 column 3"),
    # every top-level entry must be a manifest entry
    ("""\
     other: 1
     brintel:
       server_config: {}
       readers_config: {}
     """, "other: invalid type: integer `1`, expected struct OptionManifestConfig at line 1 column 8"),
    ("""\
     brintel:
       server_config: {}
       readers_config: {}
     other: [x]
     """, "other: invalid type: sequence, expected struct OptionManifestConfig at line 4 column 8"),
    ("""\
     brintel:
       server_config: {}
       readers_config: {}
     other: {x: 1}
     """, "other: missing field `server_config` at line 4 column 8"),
    ("""\
     brintel:
       server_config: {}
       readers_config: {}
     other:
     """, "other: missing field `server_config` at line 4 column 7"),
    # an empty key is no root: its path is empty but keeps the ": "
    ("'': 1\nbrintel: {server_config: {}, readers_config: {}}\n",
     ": invalid type: integer `1`, expected struct OptionManifestConfig at line 1 column 5"),
    # the root: no path; line 1 column 1 is not shown
    ("- a\n- b\n", "invalid type: sequence, expected a map"),
    ("# a comment\n- a\n", "invalid type: sequence, expected a map at line 2 column 1"),
    ("hello\n", 'invalid type: string "hello", expected a map'),
    ("&k brintel: *k\n", 'brintel: invalid type: string "brintel", expected struct OptionManifestConfig'),
])
def test_shape_refusals(read_error, manifest, message):
    assert read_error(manifest) == S + message


# YAML syntax errors: a refusal found while reading comes first; running out
# of events reports the parser's problem and context.
@pytest.mark.parametrize("manifest, message", [
    ("""\
     brintel:
       server_config: {}
       - item
     """, "did not find expected key at line 3 column 3, while parsing a block mapping at line 2 column 3"),
    ("""\
     brintel:
       server_config: {}
       readers_config: {}
     - item
     """, "did not find expected key at line 4 column 1, while parsing a block mapping"),
    ("""\
     brintel:
       server_config: {echo: true
     """, "did not find expected ',' or '}' at line 3 column 1, while parsing a flow mapping at line 2 column 18"),
    ("brintel: 'abc\n",
     "found unexpected end of stream at line 2 column 1, while scanning a quoted scalar at line 1 column 10"),
    ("brintel:\n\tserver_config: {}\n",
     "found character that cannot start any token at line 2 column 1, while scanning for the next token"),
    ("""\
     brintel:
       server_config: {}
       readers_config: {}
       note: a\x01b
     """, "control characters are not allowed at position 59"),
    ("""\
     brintel:
       server_config: {}
       readers_config: {}
       note: é\x01
     """, "control characters are not allowed at position 60"),
    ("brintel:\n\x00\n", "control characters are not allowed at position 9"),
    ("\x01brintel: x\n", "control characters are not allowed"),
    # a refusal met before the syntax error wins
    ("brintel: [a, b\n",
     "brintel: invalid type: sequence, expected struct OptionManifestConfig at line 1 column 10"),
])
def test_parse_errors(read_error, manifest, message):
    assert read_error(manifest) == S + message


VALID = READER


@pytest.mark.parametrize("manifest, message", [
    ("", "EOF while parsing a value"),
    ("# only\n# comments\n", "EOF while parsing a value"),
    ("\n\n   \n", "EOF while parsing a value"),
    (VALID + "---\nother: 1\n", "deserializing from YAML containing more than one document is not supported"),
    (VALID + "---\n[\n", "deserializing from YAML containing more than one document is not supported"),
    ("brintel: 1\n---\nx: 1\n",
     "brintel: invalid type: integer `1`, expected struct OptionManifestConfig at line 1 column 10"),
    ("""\
     brintel:
       server_config: {}
       readers_config: *nope
     """, "unknown anchor at line 3 column 19"),
    (VALID + "  extra: [1, *nope]\n", "unknown anchor at line 8 column 14"),
    ("""\
     brintel:
       server_config: {}
       readers_config:
         r2: *a
         r1: &a {model_name: m, device: cpu, consumer_group: g}
     """, "unknown anchor at line 4 column 9"),
])
def test_document_level_failures(read_error, manifest, message):
    assert read_error(manifest) == S + message


def alias_fan(width):
    """Readers aliasing one anchored reader whose string fields alias one
    scalar, and `width` top-level entries aliasing that reader map."""
    strings = fields_of_width("str")[1:]  # all but model_name
    lines = ["brintel:", "  server_config: {}", "  readers_config: &m", "    r0: &r",
             "      model_name: &s m"]
    lines += [f"      {name}: *s" for name in strings]
    lines += [f"    r{i}: *r" for i in range(1, width)]
    lines += [f"k{i}: {{server_config: {{}}, readers_config: *m}}" for i in range(width)]
    return "\n".join(lines) + "\n"


def test_alias_jumps_up_to_the_limit_are_read(read_manifest):
    # width 40: 18,039 jumps against 434 events, a limit of 43,400.
    reader = read_manifest(alias_fan(40), "r39")
    assert (reader.model_name, reader.device, reader.page_cache_size) == ("m", "m", "m")


def test_alias_jumps_beyond_the_limit(read_error):
    # width 200: 442,199 jumps against 2,034 events, a limit of 203,400.
    assert read_error(alias_fan(200)) == S + "repetition limit exceeded"


# The four ConfigError kinds that reach Python.
MANIFEST = """\
brintel:
  server_config: {}
  readers_config:
    r1: {model_name: m, device: cpu, consumer_group: g}
    R2: {model_name: m2, device: cpu, consumer_group: g}
"""


@pytest.mark.parametrize("content", [
    b"\xff",
    b"\xe9t\xe9",
    b"\xc0\xaf",
    b"\xed\xa0\x80",
    b"\xf4\x90\x80\x80",
    b"\xe2\x82",
], ids=["ff", "latin1", "overlong", "surrogate", "beyond-10ffff", "truncated"])
def test_text_that_is_not_utf8_is_file_not_found(write_manifest, path_error, content):
    path = write_manifest(MANIFEST.encode() + b"# " + content)
    assert path_error(path) == "File Not Found on path: " + path


@pytest.mark.parametrize("make_path", [
    lambda folder, good: str(folder / "absent.yaml"),
    lambda folder, good: str(folder),
    lambda folder, good: good + "/x",
    lambda folder, good: "",
    lambda folder, good: "absent.yaml",
    lambda folder, good: "./sub/../absent.yaml",
    # no file has this name: the path ends at no NUL
    lambda folder, good: good + "\0ignored",
], ids=["absent", "directory", "below-a-file", "empty", "relative", "relative-unnormalised", "nul"])
def test_unreadable_paths_are_file_not_found(tmp_path, write_manifest, path_error, monkeypatch, make_path):
    path = make_path(tmp_path, write_manifest(MANIFEST))
    monkeypatch.chdir(tmp_path)
    assert path_error(path) == "File Not Found on path: " + path


def test_a_file_that_holds_more_than_its_size_says_is_read_whole(path_error):
    # /proc files say they hold nothing: the text is read into room for the
    # size the file reports, and grows while the file gives more.
    path = "/proc/sys/kernel/ostype"
    if not os.path.exists(path):
        pytest.skip("no /proc here")
    assert path_error(path) == S + 'invalid type: string "Linux", expected a map'


def test_relative_path_is_read_from_the_current_directory(tmp_path, write_manifest, monkeypatch):
    import brintel_config
    name = write_manifest(MANIFEST).rsplit("/", 1)[1]
    monkeypatch.chdir(tmp_path)
    assert brintel_config.read_brintel_readers_config(name, "R2").model_name == "m2"


@pytest.mark.parametrize("manifest", [
    "---\n",
    "{}\n",
    MANIFEST.replace("brintel:", "other:"),
    MANIFEST.replace("brintel:", "Brintel:"),
    MANIFEST.replace("brintel:", "'brintel ':"),
])
def test_missing_product_key(read_error, manifest):
    assert read_error(manifest) == S + "No brintel key found in manifest"


@pytest.mark.parametrize("manifest, reader_id", [
    (MANIFEST, "r2"),
    (MANIFEST, "R1"),
    (MANIFEST, "r1 "),
    (MANIFEST, 'a"b\nc\\d'),
    (MANIFEST.replace("r1:", "café:"), "cafe\u0301"),
    ("brintel:\n  server_config:\n  readers_config:\n", "r1"),
    ("brintel:\n  server_config: {}\n  readers_config: {}\n", "r1"),
])
def test_unknown_reader_id(read_error, manifest, reader_id):
    assert read_error(manifest, reader_id) == f"Invalid Value: No reader with id {reader_id} found in manifest.yaml"


def test_empty_id_message_has_two_blanks(read_error):
    assert read_error(MANIFEST, "") == "Invalid Value: No reader with id  found in manifest.yaml"


def test_ids_are_matched_exactly(read_manifest):
    assert read_manifest(MANIFEST, "R2").model_name == "m2"
    assert read_manifest(MANIFEST.replace("R2:", "'':"), "").model_name == "m2"
    assert read_manifest(MANIFEST.replace("r1:", "café:"), "café").model_name == "m"


@pytest.mark.parametrize("content, reader_id, expected", [
    # file before YAML
    (b"brintel: [\xff\n", "r1", "File Not Found on path: {path}"),
    # YAML before product key and reader
    (b"other: [1]\n", "r9",
     S + "other: invalid type: sequence, expected struct OptionManifestConfig at line 1 column 8"),
    (MANIFEST.encode() + b"- item\n", "r9",
     S + "did not find expected key at line 6 column 1, while parsing a block mapping"),
    # product key before reader
    (MANIFEST.replace("brintel:", "other:").encode(), "r1", S + "No brintel key found in manifest"),
    (MANIFEST.encode(), "r9", "Invalid Value: No reader with id r9 found in manifest.yaml"),
])
def test_check_order(write_manifest, path_error, content, reader_id, expected):
    path = write_manifest(content)
    assert path_error(path, reader_id) == expected.format(path=path)

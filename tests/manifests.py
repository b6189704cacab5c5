"""Manifest texts and reader helpers shared by the tests."""

import textwrap
from typing import NamedTuple

# The prefix of every YAML refusal.
S = "Error Error Serializing/Deserializing:: "

# The reasons validate() gives for its findings.
CPU_PARALLEL_REASON = "tensor_parallel is not supported on cpu"
DEVICE_REASON = "device must be either 'cpu' or 'cuda' for local models, or 'api' for api-based models"
COUNT_REASON = ("If providing cuda_visible_devices, tensor_parallel cannot be larger than the number of "
                "devices provided")
ODD_REASON = "tensor_parallel must be 1 or even, if specified."
ZERO_REASON = "tensor_parallel must be at least 1, if specified."
LIST_REASON = "cuda_visible_devices must be a comma separated string of integers like '0,1'"

U32_MAX = 2**32 - 1
U64_MAX = 2**64 - 1


class Field(NamedTuple):
    text: str  # the value as a manifest spells it
    value: str | int  # what the attribute then reads
    width: str  # "str", "u32" or "u64"
    required: bool = False


# Every reader field, in declared order, with a value set: the one list of
# fields the tests of reading, storing, exporting and the command take, and
# the complete fuzz seed is held to. Texts that YAML and JSON must escape,
# empty strings, numbers at the ends of their ranges, in a reader that
# validates. A new field is one more row.
READER_FIELDS = {
    "model_name": Field('"quote\\" backslash\\\\ tab\\t nul\\0 bell\\a del\\x7f é 日本 🙂 </"',
                        'quote" backslash\\ tab\t nul\0 bell\a del\x7f é 日本 🙂 </', "str", True),
    "device": Field("cuda", "cuda", "str", True),
    "consumer_group": Field('""', "", "str", True),
    "redis_host": Field('"line\\nfeed\\rreturn"', "line\nfeed\rreturn", "str"),
    "internal_gateway_ip": Field("10.0.0.1", "10.0.0.1", "str"),
    "access_token": Field('"\\x01\\x1f"', "\x01\x1f", "str"),
    "log_level": Field("''", "", "str"),
    "backend": Field("vllm", "vllm", "str"),
    "cuda_visible_devices": Field('"0,1"', "0,1", "str"),
    "max_batch_size": Field(str(U64_MAX), U64_MAX, "u64"),
    "batch_duration_millis": Field("0", 0, "u64"),
    "tensor_parallel": Field("2", 2, "u32"),
    "quant_type": Field("awq", "awq", "str"),
    "max_sequence_length": Field("0x1000", 4096, "u32"),
    "nvlink_unavailable": Field("1", 1, "u32"),
    "disable_static": Field("0", 0, "u32"),
    "disable_cuda_graph": Field("1", 1, "u32"),
    "cuda_graph_cache_capacity": Field(str(U32_MAX), U32_MAX, "u32"),
    "disable_paged_attention": Field("0", 0, "u32"),
    "page_cache_size": Field("4096", "4096", "str"),  # a plain number still reads as a string
}
FIELDS = list(READER_FIELDS)
REQUIRED = [name for name, field in READER_FIELDS.items() if field.required]
EVERY_FIELD_TEXTS = {name: field.text for name, field in READER_FIELDS.items()}
EVERY_FIELD_VALUES = {name: field.value for name, field in READER_FIELDS.items()}
# What ReaderConfig() reads: empty required strings, nothing else set.
EMPTY_READER = {name: "" if name in REQUIRED else None for name in FIELDS}


def fields_of_width(width: str) -> list[str]:
    return [name for name, field in READER_FIELDS.items() if field.width == width]


def every_field(texts: dict[str, str] | None = None, reader_id: str = "r1") -> str:
    """A reader as an update writes it, for the body of manifest(): every
    field in declared order, its text in `texts` or null; by default every
    field of READER_FIELDS set."""
    texts = EVERY_FIELD_TEXTS if texts is None else texts
    return f"{reader_id}:\n" + "".join(f"  {name}: {texts.get(name, 'null')}\n" for name in FIELDS)


# One reader r1 whose last line is line 7; reader_with adds line 8.
READER = """\
brintel:
  server_config: {}
  readers_config:
    r1:
      model_name: m
      device: cpu
      consumer_group: g
"""


def reader_with(key, value):
    """READER plus `key: value` on line 8 (value at column len(key) + 9)."""
    return READER + f"      {key}: {value}\n"


def fields_of(reader) -> dict:
    return {name: getattr(reader, name) for name in FIELDS}

SERVER_CONFIG = """\
  server_config:
    echo: false
    port: 3000
    enable_metrics: true
    heartbeat_check_interval: 10
    management_port: 3001
    vertex_port: 3002
    openai_port: 3003
    snowflake_port: 3004
    internal_port: 3005
    repository_path: /models
    body_size_limit_bytes: 2097152
    allow_remote_images: false
"""


def manifest(readers: str = "", *, key: str = "brintel", server: str = SERVER_CONFIG) -> str:
    """A complete manifest; `readers` is the indented body of readers_config."""
    body = textwrap.indent(textwrap.dedent(readers), "    ") if readers.strip() else ""
    readers_line = "  readers_config:\n" + body if body else "  readers_config: {}\n"
    return f"{key}:\n{server}{readers_line}"


def reader(model_name="m", device="cuda", **fields) -> str:
    lines = [f"model_name: {model_name}", f"device: {device}", "consumer_group: g"]
    lines += [f"{name}: {value}" for name, value in fields.items()]
    return "\n".join(lines)


if __name__ == "__main__":
    # python tests/manifests.py > fuzz/seeds/complete-manifest.yaml
    print(manifest(every_field()), end="")

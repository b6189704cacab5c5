"""Manifest texts and reader helpers shared by the tests."""

import textwrap

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

# The twenty reader fields, in declared order.
FIELDS = [
    "model_name", "device", "consumer_group", "redis_host", "internal_gateway_ip",
    "access_token", "log_level", "backend", "cuda_visible_devices", "max_batch_size",
    "batch_duration_millis", "tensor_parallel", "quant_type", "max_sequence_length",
    "nvlink_unavailable", "disable_static", "disable_cuda_graph",
    "cuda_graph_cache_capacity", "disable_paged_attention", "page_cache_size",
]

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

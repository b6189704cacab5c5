"""Manifest texts shared by the tests."""

import textwrap

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

"""Writes manifests of a given number of readers for the benchmarks."""

import random


def reader_lines(index: int, rng: random.Random) -> list[str]:
    device = rng.choice(["cuda", "cpu"])
    lines = [
        f"  reader-{index:06d}:",
        f"    model_name: model-{rng.randrange(1000)}-{rng.choice(['7b', '13b', '70b'])}",
        f"    device: {device}",
        f"    consumer_group: group-{index % 50}",
        f"    redis_host: redis-{index % 8}.internal",
        f"    log_level: {rng.choice(['info', 'debug', 'warn'])}",
        f"    max_batch_size: {rng.choice([8, 16, 32, 64])}",
        f"    batch_duration_millis: {rng.randrange(1, 200)}",
        f"    max_sequence_length: {rng.choice([2048, 4096, 8192])}",
        f"    quant_type: {rng.choice(['fp16', 'int8', 'awq'])}",
    ]
    if device == "cuda":
        lines += ["    cuda_visible_devices: 0,1", "    tensor_parallel: 2"]
    return lines


def manifest_text(readers: int, seed: int = 7) -> str:
    rng = random.Random(seed)
    lines = [
        "brintel:",
        "  server_config:",
        "    echo: false",
        "    port: 3000",
        "    enable_metrics: true",
        "    heartbeat_check_interval: 10",
        "    management_port: 3001",
        "    vertex_port: 3002",
        "    openai_port: 3003",
        "    snowflake_port: 3004",
        "    internal_port: 3005",
        "    repository_path: /models",
        "    body_size_limit_bytes: 2097152",
        "    allow_remote_images: false",
        "  readers_config:",
    ]
    for index in range(readers):
        lines += ["  " + line for line in reader_lines(index, rng)]
    return "\n".join(lines) + "\n"


def reader_id(readers: int) -> str:
    """An id in the middle of the manifest."""
    return f"reader-{readers // 2:06d}"

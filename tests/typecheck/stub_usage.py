"""Uses of the module that the type stubs must accept, and mistakes they must report.

Type-checked by `./dev typecheck`, never run. Each `# type: ignore[code]`
marks a mistake: mypy --strict also reports unused ignores, so the check
fails when the stubs stop catching one of them.
"""

from pathlib import Path

from brintel_config import AppConfig, ReaderConfig, read_brintel_readers_config


def accepted() -> None:
    empty: ReaderConfig = ReaderConfig()
    reader = ReaderConfig(
        model_name="m", device="cuda", consumer_group="g", log_level="info",
        cuda_visible_devices=None, max_batch_size=None, tensor_parallel=2, max_sequence_length=4096,
    )
    required: tuple[str, str, str] = (reader.model_name, reader.device, empty.consumer_group)
    devices: str | None = reader.cuda_visible_devices
    numbers: tuple[int | None, int | None] = (reader.batch_duration_millis, reader.disable_static)
    exported: dict[str, str | int] = reader.dict_without_optionals()
    reader.validate()
    reader.add_to_manifest_yaml("manifest.yaml", reader_id="r1")
    by_default: ReaderConfig = read_brintel_readers_config()
    by_keyword = read_brintel_readers_config(path="manifest.yaml", reader_id="r1")
    print(required, devices, numbers, exported, by_default, by_keyword)


def refused(reader: ReaderConfig) -> None:
    ReaderConfig(model_name="m", device="cpu", tensor_paralel=2)  # type: ignore[call-overload]
    ReaderConfig(model_name="m")  # type: ignore[call-overload]
    ReaderConfig("m", "cpu")  # type: ignore[call-overload]
    ReaderConfig(model_name="m", device="cpu", log_level=None)  # type: ignore[call-overload]
    ReaderConfig(model_name="m", device="cpu", max_batch_size="8")  # type: ignore[call-overload]
    reader.model_name = "other"  # type: ignore[misc]
    print(reader.tensor_parallel + 1)  # type: ignore[operator]
    print(reader.log_level.upper())  # type: ignore[union-attr]
    reader.add_to_manifest_yaml("manifest.yaml")  # type: ignore[call-arg]
    print(reader.validate() or "sound")  # type: ignore[func-returns-value]
    read_brintel_readers_config(Path("manifest.yaml"), "r1")  # type: ignore[arg-type]
    read_brintel_readers_config("manifest.yaml", None)  # type: ignore[arg-type]


def app_config_cannot_be_built() -> None:
    AppConfig()
    print("unreachable")  # type: ignore[unreachable]

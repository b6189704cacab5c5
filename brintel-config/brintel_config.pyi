"""Typed reader configuration: read, build, validate, export and store manifest entries.

Problems with a manifest or a reader raise a plain ``Exception`` whose only
argument is one line of text; its prefix tells the kind of problem.
"""

from typing import NoReturn, final, overload

__all__ = ["ReaderConfig", "AppConfig", "read_brintel_readers_config"]

@final
class ReaderConfig:
    """One reader's (model worker's) settings; instances never change."""

    # Keywords other than these eight are accepted and ignored at run time;
    # they are left out here so that a misspelt setting is reported.
    @overload
    def __new__(cls) -> ReaderConfig:
        """The empty record, unchecked: empty required strings, nothing else set."""

    @overload
    def __new__(
        cls,
        *,
        model_name: str,
        device: str,
        consumer_group: str = "",
        log_level: str = ...,
        cuda_visible_devices: str | None = None,
        max_batch_size: int | None = None,
        tensor_parallel: int | None = None,
        max_sequence_length: int | None = None,
    ) -> ReaderConfig:
        """Raises TypeError for an empty model_name or a device other than "cpu" or "cuda"."""

    @property
    def model_name(self) -> str: ...
    @property
    def device(self) -> str: ...
    @property
    def consumer_group(self) -> str: ...
    @property
    def redis_host(self) -> str | None: ...
    @property
    def internal_gateway_ip(self) -> str | None: ...
    @property
    def access_token(self) -> str | None: ...
    @property
    def log_level(self) -> str | None: ...
    @property
    def backend(self) -> str | None: ...
    @property
    def cuda_visible_devices(self) -> str | None: ...
    @property
    def max_batch_size(self) -> int | None: ...
    @property
    def batch_duration_millis(self) -> int | None: ...
    @property
    def tensor_parallel(self) -> int | None: ...
    @property
    def quant_type(self) -> str | None: ...
    @property
    def max_sequence_length(self) -> int | None: ...
    @property
    def nvlink_unavailable(self) -> int | None: ...
    @property
    def disable_static(self) -> int | None: ...
    @property
    def disable_cuda_graph(self) -> int | None: ...
    @property
    def cuda_graph_cache_capacity(self) -> int | None: ...
    @property
    def disable_paged_attention(self) -> int | None: ...
    @property
    def page_cache_size(self) -> str | None: ...
    def dict_without_optionals(self) -> dict[str, str | int]:
        """The set fields by name, in declared field order, without cuda_visible_devices."""

    def validate(self) -> None:
        """Raises Exception("Validation Errors: [...]") listing every finding."""

    def add_to_manifest_yaml(self, path: str, reader_id: str) -> None:
        """Stores a copy under reader_id in the manifest at path, replacing the file atomically."""

@final
class AppConfig:
    """The server settings, registered by name only: there are no members."""

    def __new__(cls, *args: object, **kwargs: object) -> NoReturn:
        """Raises TypeError("No constructor defined")."""

def read_brintel_readers_config(path: str = "str", reader_id: str = "str") -> ReaderConfig:
    """Read the reader config for reader_id: reader_id from the manifest yaml file.
    If no such reader is found, return an error to be raised in python"""

"""Build a reader configuration and print its fields."""

import sys

import brintel_config


def main() -> None:
    reader = brintel_config.ReaderConfig(
        model_name="llama", device="cuda", consumer_group="primary",
        cuda_visible_devices="0,1", tensor_parallel=2,
    )
    for name in dir(type(reader)):
        if not name.startswith("_"):
            print(f"{name}: {getattr(reader, name)!r}")


if __name__ == "__main__":
    sys.exit(main())

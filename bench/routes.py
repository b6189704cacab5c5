"""The PyYAML routes a user would otherwise take to read and store a reader."""

import yaml


def pyyaml_lookup(path: str, reader_id: str) -> dict:
    with open(path, encoding="utf-8") as file:
        document = yaml.load(file.read(), Loader=yaml.CSafeLoader)
    return document["brintel"]["readers_config"][reader_id]


def pyyaml_update(path: str, reader_id: str, reader: dict) -> None:
    with open(path, encoding="utf-8") as file:
        document = yaml.load(file.read(), Loader=yaml.CSafeLoader)
    document["brintel"]["readers_config"][reader_id] = reader
    text = yaml.dump(document, Dumper=yaml.CSafeDumper, sort_keys=False)
    with open(path, "w", encoding="utf-8") as file:
        file.write(text)

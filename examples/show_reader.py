"""Read one reader out of a manifest, validate it and print it."""

import sys

from brintel_config import read_brintel_readers_config


def main(argv: list[str]) -> int:
    if len(argv) not in (2, 3):
        print("usage: python examples/show_reader.py MANIFEST [READER_ID]", file=sys.stderr)
        return 2
    path, reader_id = argv[1], (argv[2] if len(argv) == 3 else "r1")
    try:
        reader = read_brintel_readers_config(path, reader_id)
        reader.validate()
    except Exception as error:
        print(error, file=sys.stderr)
        return 1
    print(f"reader {reader_id} of {path}:")
    for name, value in reader.dict_without_optionals().items():
        print(f"  {name}: {value!r}")
    print(f"  cuda_visible_devices: {reader.cuda_visible_devices!r}")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))

"""The suite tests the installed package, not files of the work tree:
python packaging/imported_from.py PREFIX fails unless brintel_config is
imported from under PREFIX."""

import pathlib
import sys

import brintel_config

module = pathlib.Path(brintel_config.__file__)
if not module.is_relative_to(sys.argv[1]):
    sys.exit(f"brintel_config was imported from {module}, not from the installed wheel")
print(f"testing {module}")

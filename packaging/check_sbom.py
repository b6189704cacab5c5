"""The bill of materials and the licence files of a wheel name every pinned
library: python packaging/check_sbom.py WHEEL packaging/third-party.txt"""

import json
import re
import sys
import zipfile


def main(wheel_path: str, pins_path: str) -> None:
    wheel = zipfile.ZipFile(wheel_path)
    with open(pins_path) as f:
        pins = f.read()
    names = wheel.namelist()
    sbom_name = next(n for n in names if n.endswith(".dist-info/sboms/brintel-config.cdx.json"))
    listed = {c["name"]: c["version"] for c in json.loads(wheel.read(sbom_name))["components"]}
    for library, version in re.findall(r"^([a-z][^ ]*) +([^ ]+)", pins, re.M):
        if listed.get(library) != version:
            sys.exit(f"the SBOM lists {library} as {listed.get(library)}, not {version}")
        if not any(f"/licenses/packaging/licenses/{library}/" in n for n in names):
            sys.exit(f"no licence file of {library}")


if __name__ == "__main__":
    main(*sys.argv[1:])

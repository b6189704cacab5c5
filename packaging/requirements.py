"""The requirements of dependency groups, one a line:
python packaging/requirements.py pyproject.toml test,typecheck"""

import sys
import tomllib


def main(pyproject: str, groups_wanted: str) -> None:
    with open(pyproject, "rb") as f:
        groups = tomllib.load(f)["dependency-groups"]
    for group in groups_wanted.split(","):
        print("\n".join(groups[group]))


if __name__ == "__main__":
    main(*sys.argv[1:])

"""The requirements of dependency groups, one a line, but for the projects
left out: python packaging/requirements.py pyproject.toml test,typecheck [LEFT-OUT...]"""

import re
import sys
import tomllib


def main(pyproject: str, groups_wanted: str, *left_out: str) -> None:
    with open(pyproject, "rb") as f:
        groups = tomllib.load(f)["dependency-groups"]
    for group in groups_wanted.split(","):
        for requirement in groups[group]:
            if re.match(r"[A-Za-z0-9._-]+", requirement)[0] not in left_out:
                print(requirement)


if __name__ == "__main__":
    main(*sys.argv[1:])

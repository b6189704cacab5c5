"""The README's Python examples as one program, and what it should print.

The ```python blocks of README.md form one session, run in order. `./dev
typecheck` type-checks the program (python tests/readme_examples.py README
OUT writes it) and tests/test_readme.py runs it.
"""

import re
import sys
from pathlib import Path

# print(...)  # what it prints
PRINT_WITH_OUTPUT = re.compile(r"^\s*print\(.*\)\s+# (?P<output>.*)$")
BARE_PRINT = re.compile(r"^\s*print\(.*\)\s*$")


def session(readme: str) -> str:
    blocks = re.findall(r"^```python\n(.*?)^```$", readme, re.M | re.S)
    if not blocks:
        raise ValueError("README.md holds no ```python example")
    return "\n".join(blocks)


def expected_output(program: str) -> list[str]:
    """The lines the program prints, as its comments show them: a print
    call's own trailing comment, or else the comment lines right below it,
    joined by blanks (a long output is wrapped after a blank)."""
    lines = program.splitlines()
    output = []
    for number, line in enumerate(lines):
        if shown := PRINT_WITH_OUTPUT.match(line):
            output.append(shown["output"])
        elif BARE_PRINT.match(line):
            below = []
            for comment in lines[number + 1:]:
                if not comment.lstrip().startswith("#"):
                    break
                below.append(comment.lstrip().lstrip("#").strip())
            if not below:
                raise ValueError(f"no output shown for {line.strip()}")
            output.append(" ".join(below))
    return output


if __name__ == "__main__":
    Path(sys.argv[2]).write_text(session(Path(sys.argv[1]).read_text()))

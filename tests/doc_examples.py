"""The examples of the documentation: the README and each page of docs/.

The ```python blocks of one file form one session, run in order; a print
call's comment shows what it prints. A ```console block runs the commands
after its `$ ` prompts, on the files that the ```yaml title="NAME" blocks
of the same file hold, and shows what they print. tests/test_docs.py runs
them all; `./dev typecheck` type-checks the sessions, which
`python tests/doc_examples.py DIR` writes into DIR.
"""

import re
import sys
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
DOCUMENTS = [ROOT / "README.md", *sorted((ROOT / "docs").glob("*.md"))]

# print(...)  # what it prints
PRINT_WITH_OUTPUT = re.compile(r"^\s*print\(.*\)\s+# (?P<output>.*)$")
BARE_PRINT = re.compile(r"^\s*print\(.*\)\s*$")


def blocks(text: str, info: str) -> list[str]:
    return re.findall(rf"^```{info}\n(.*?)^```$", text, re.M | re.S)


def session(text: str) -> str:
    """The file's Python examples as one program; empty where it has none."""
    return "\n".join(blocks(text, "python"))


def titled_files(text: str) -> dict[str, str]:
    return dict(re.findall(r'^```\w+ title="([^"]+)"\n(.*?)^```$', text, re.M | re.S))


def console_runs(text: str) -> list[tuple[str, list[str]]]:
    """Each command of the console blocks, with the lines shown after it."""
    runs: list[tuple[str, list[str]]] = []
    for block in blocks(text, "console"):
        for line in block.splitlines():
            if line.startswith("$ "):
                runs.append((line[2:], []))
            else:
                runs[-1][1].append(line)
    return runs


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
    for document in DOCUMENTS:
        if program := session(document.read_text()):
            name = document.stem.lower().replace("-", "_")
            (Path(sys.argv[1]) / f"{name}_examples.py").write_text(program)

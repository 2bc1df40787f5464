#!/usr/bin/env python3
"""Prints the size of the tests against the size of the code and fails when the tests exceed 38%.

A counted line is a non-blank line that is not only a comment or a preprocessor line. Tests are the
.cpp, .h, .py and .sh files under tests/ (installed npm modules aside); code is the .cpp and .h
files under src/ and tools/.
"""
import pathlib
import sys

LIMIT = 0.38
ROOT = pathlib.Path(__file__).resolve().parents[2]


def counted_lines(path):
    hash_comments = path.suffix in (".py", ".sh")
    count = 0
    in_block = False
    for raw in path.read_text(encoding="utf-8", errors="replace").splitlines():
        line = raw.strip()
        if in_block:
            if "*/" in line:
                in_block = False
                line = line.split("*/", 1)[1].strip()
            else:
                continue
        if not line or line.startswith("//") or line.startswith("#"):
            continue
        if not hash_comments and line.startswith("/*"):
            in_block = "*/" not in line
            continue
        count += 1
    return count


def total(folders, suffixes):
    files = [p for folder in folders for p in (ROOT / folder).rglob("*")
             if p.is_file() and p.suffix in suffixes and "node_modules" not in p.parts]
    return sum(counted_lines(p) for p in files)


tests = total(["tests"], {".cpp", ".h", ".py", ".sh"})
code = total(["src", "tools"], {".cpp", ".h"})
share = tests / code
print(f"tests {tests} lines, code {code} lines: {share:.1%} (at most {LIMIT:.0%})")
sys.exit(0 if share <= LIMIT else 1)

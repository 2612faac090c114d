#!/usr/bin/env python3
"""Prints the tests of the last CTest run that skipped, each with its reason.

Reads Testing/Temporary/LastTest.log of a build folder. A GoogleTest case that
called GTEST_SKIP, a QTest function that called QSKIP and a CTest test that
exited with its skip code are each one line: the test's name, then the reason
it gave.

    list-skipped.py BUILD_DIR
"""
import os
import re
import sys

GTEST_SKIP = re.compile(r"^[^\n]*: Skipped\n(.*?)\n?\[  SKIPPED \] (\S+)", re.M | re.S)
QTEST_SKIP = re.compile(r"^SKIP   : (\S+?)\(\)\s*(.*)$", re.M)
BLOCK_START = re.compile(r"^\d+/\d+ Test: (.+)$", re.M)


def one_line(text):
    return " ".join(text.split())


def main():
    if len(sys.argv) != 2:
        sys.exit("usage: list-skipped.py BUILD_DIR")
    log = os.path.join(sys.argv[1], "Testing", "Temporary", "LastTest.log")
    try:
        with open(log, encoding="utf-8", errors="replace") as f:
            text = f.read()
    except OSError as e:
        sys.exit(f"no test log to read skips from: {e}")
    starts = list(BLOCK_START.finditer(text))
    skipped = []
    for i, m in enumerate(starts):
        name = m.group(1).strip()
        block = text[m.end():starts[i + 1].start() if i + 1 < len(starts) else len(text)]
        found = False
        for s in GTEST_SKIP.finditer(block):
            skipped.append((s.group(2), one_line(s.group(1)) or "(no reason given)"))
            found = True
        for s in QTEST_SKIP.finditer(block):
            skipped.append((s.group(1), one_line(s.group(2)) or "(no reason given)"))
            found = True
        if not found and re.search(r"^Test (?:Skipped|Not Run)", block, re.M):
            output = block.split("<end of output>")[0].strip().splitlines()
            skipped.append((name, one_line(output[-1]) if output else "(no reason given)"))
    print(f"Skipped tests: {len(skipped)}")
    for name, reason in skipped:
        print(f"  {name}: {reason}")


if __name__ == "__main__":
    main()

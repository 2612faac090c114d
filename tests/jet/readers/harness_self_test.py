#!/usr/bin/env python3
"""Tests check_written_file.py on files Access wrote: described by our reader,
each file must pass all three readers; and a description with one value
changed, one row dropped or one table too many must fail, with the difference
reported by every reader.

Exit status 0 when the checker behaves, 1 when it does not, 77 when the
shared fixtures, mdbtools, node or mdb-reader are missing.
"""
import argparse
import copy
import json
import os
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
CHECKER = os.path.join(HERE, "check_written_file.py")
SKIP = 77

FIXTURES = ["mdb-reader/test/data/V2003/test.mdb", "mdb-reader/test/data/V2010/test.accdb",
            "mdb-reader/test/data/V2016/attachments.accdb"]
# Each reader and the prefixes its report lines start with.
READERS = {"vellquist-sql": ("vellquist-sql",), "mdbtools": ("mdb-tables", "mdb-export"),
           "mdb-reader": ("mdb-reader",)}


def check(tool, path, description, folder):
    expected = os.path.join(folder, "expected.json")
    with open(expected, "w", encoding="utf-8") as f:
        json.dump(description, f, ensure_ascii=False)
    p = subprocess.run([sys.executable, CHECKER, path, "--tool", tool, "--expected", expected],
                       capture_output=True, text=True)
    return p.returncode, p.stdout + p.stderr


def spoilt(description):
    """Three ways a description can be wrong, each with the table it names."""
    tables = description["tables"]
    with_rows = next(t for t in tables if t["rows"])
    changed = copy.deepcopy(description)
    row = next(t for t in changed["tables"] if t["name"] == with_rows["name"])["rows"][0]
    k = next(k for k, v in enumerate(row) if isinstance(v, str))
    row[k] += "x"
    dropped = copy.deepcopy(description)
    next(t for t in dropped["tables"] if t["name"] == with_rows["name"])["rows"].pop()
    extra = copy.deepcopy(description)
    extra["tables"].append({"name": "NotThere", "columns": [{"name": "a", "type": 3}],
                            "rows": []})
    return [("a changed value", changed, with_rows["name"]),
            ("a dropped row", dropped, with_rows["name"]),
            ("a table too many", extra, "NotThere")]


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--tool", required=True)
    ap.add_argument("--fixtures", required=True)
    args = ap.parse_args()
    if not os.path.isdir(args.fixtures):
        print(f"SKIP: tries the checker on files made by Access: no fixtures at {args.fixtures}")
        return SKIP
    failures = []
    with tempfile.TemporaryDirectory() as folder:
        for relative in FIXTURES:
            path = os.path.join(args.fixtures, relative)
            described = subprocess.run([sys.executable, CHECKER, path, "--tool", args.tool,
                                        "--describe"], capture_output=True, text=True)
            if described.returncode != 0:
                failures.append(f"{relative}: --describe failed: {described.stderr.strip()}")
                continue
            description = json.loads(described.stdout)
            rc, out = check(args.tool, path, description, folder)
            if rc == SKIP:
                print(out.strip())
                return SKIP
            if rc != 0:
                failures.append(f"{relative}: the unmodified file failed:\n{out}")
            for what, wrong, table in spoilt(description):
                rc, out = check(args.tool, path, wrong, folder)
                if rc != 1:
                    failures.append(f"{relative}: {what} gave status {rc}, not 1:\n{out}")
                for reader, prefixes in READERS.items():
                    if not any(line.startswith(prefixes) and table in line
                               for line in out.splitlines()):
                        failures.append(f"{relative}: {what} was not reported for {reader}:\n{out}")
            print(f"{relative}: {len(description['tables'])} tables checked, "
                  f"3 spoilt descriptions refused")
    for f in failures:
        print(f)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())

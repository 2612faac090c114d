#!/usr/bin/env python3
"""Reads every Access fixture that mdbtools reads through vellquist-sql and
through mdb-export, and checks that both see the same user tables, columns,
row counts and values.

Formats differ between the two tools, so values are compared by meaning:
numbers as numbers, currency and decimals exactly, dates as text, binary as
hexadecimal. Where mdbtools is known to be wrong, the check says so and
compares what can be compared (see KNOWN_MDBTOOLS_FAULTS).

The password-protected Jet files are also opened with the right, a wrong and
no password: only the right one may give anything but error -2147217843.

Exit status 0 when all agree, 1 on a difference, 77 when the fixtures or
mdbtools are missing.
"""
import argparse
import decimal
import json
import os
import shutil
import subprocess
import sys

# Places where mdbtools 1.0 gives a wrong or no answer; our engine follows the
# file format notes instead.
KNOWN_MDBTOOLS_FAULTS = """
- dates before 1900-01-01 (and in the year 9999) come out as "1900-01-00 ..."
  from mdbtools; we check that our date is then before 1900 or in 9999;
- column types mdbtools does not know (Date/Time Extended, Large Number, the
  two unknown types 0x0D and 0x11) come out empty, with a warning on stderr;
  for those columns only our side is checked (a date must be a date);
- calculated columns: mdbtools prints the wrapper, not the value; the columns
  are listed in CALCULATED and skipped;
- rows moved to another page (overflow rows) come out where their data lives
  rather than in slot order; when the rows do not agree in order, each of our
  rows must match a distinct mdbtools row;
- the five bytes Windows-1252 leaves unassigned come out as "?" from mdbtools;
  we keep Windows' mapping to the C1 control of the same value;
- GUIDs are printed as the hex of their "{...}" text by mdbtools with -b hex,
  and mdbtools 1.0 drops the last dash; GUIDs are compared without dashes.
"""

CALCULATED = {("extDateTestV2019.accdb", "Table1", "DateNormalCalc")}

DATE_FORMAT = "%Y-%m-%d %H:%M:%S"


def parse_csv(text):
    """mdb-export's CSV: returns rows of (value, quoted) cells."""
    rows, row, i, n = [], [], 0, len(text)
    cell, quoted, at_start = [], False, True
    while i < n:
        c = text[i]
        if at_start and c == '"':
            quoted, at_start = True, False
            i += 1
            while i < n:
                if text[i] == '"':
                    if i + 1 < n and text[i + 1] == '"':
                        cell.append('"')
                        i += 2
                        continue
                    i += 1
                    break
                cell.append(text[i])
                i += 1
            continue
        if c == ',':
            row.append(("".join(cell), quoted))
            cell, quoted, at_start = [], False, True
        elif c == '\n':
            row.append(("".join(cell), quoted))
            rows.append(row)
            row, cell, quoted, at_start = [], [], False, True
        else:
            cell.append(c)
            at_start = False
        i += 1
    if cell or row:
        row.append(("".join(cell), quoted))
        rows.append(row)
    return rows


def run(cmd):
    p = subprocess.run(cmd, capture_output=True)
    return p.returncode, p.stdout.decode("utf-8", "replace"), p.stderr.decode("utf-8", "replace")


def connection_string(path, password=""):
    provider = "Microsoft.ACE.OLEDB.12.0" if path.lower().endswith("accdb") else "Microsoft.Jet.OLEDB.4.0"
    return f"Provider={provider};Data Source={path};Jet OLEDB:Database Password={password}"


def same_value(ado_type, ours, mdb, quoted, mdb_unsupported=False):
    """None when the values agree, else a short reason."""
    if mdb_unsupported and mdb == "" and not quoted:
        if ado_type == 7 and ours is not None:
            return None if len(ours) >= 19 and ours[4] == "-" else "bad extended date " + ours
        return None
    if ours is None:
        if mdb == "" and not quoted:
            return None
        if ado_type in (204, 205) and mdb == "":
            return None
        return "null vs " + repr(mdb)
    if mdb == "" and not quoted and ado_type not in (202, 203, 204, 205):
        return repr(ours) + " vs null"
    if isinstance(ours, bool):
        return None if mdb == ("1" if ours else "0") else f"{ours} vs {mdb}"
    if isinstance(ours, int):
        try:
            return None if int(mdb) == ours else f"{ours} vs {mdb}"
        except ValueError:
            return f"{ours} vs {mdb!r}"
    if ado_type in (202, 203):
        if ours == mdb:
            return None
        c1 = "\x81\x8d\x8f\x90\x9d"
        if len(ours) == len(mdb) and all(a == b or (a in c1 and b == "?") for a, b in zip(ours, mdb)):
            return None
        return f"text {ours[:60]!r} vs {mdb[:60]!r}"
    if ado_type == 7:
        if mdb.startswith("1900-01-00"):
            return None if ours < "1900" or ours.startswith("9999") else f"date {ours} vs {mdb}"
        return None if ours[:19] == mdb else f"date {ours} vs {mdb}"
    if ado_type in (6, 131):
        return None if decimal.Decimal(ours) == decimal.Decimal(mdb) else f"{ours} vs {mdb}"
    if ado_type in (4, 5):
        a, b = float(ours), float(mdb)
        tol = 1e-6 if ado_type == 4 else 1e-9
        return None if abs(a - b) <= tol * max(1.0, abs(a), abs(b)) else f"{ours} vs {mdb}"
    if ado_type == 72:
        if ours.upper() == mdb.upper():
            return None
        try:
            if bytes.fromhex(mdb).decode("ascii").upper().replace("-", "") == ours.upper().replace("-", ""):
                return None
        except ValueError:
            pass
        return f"guid {ours} vs {mdb}"
    if ado_type in (204, 205):
        hex_ours = ours[2:].upper() if ours.startswith("0x") else ours
        return None if hex_ours == mdb.upper() else f"binary {ours[:40]} vs {mdb[:40]}"
    return None if str(ours) == mdb else f"{ours!r} vs {mdb!r}"


def check_file(tool, path, password, problems):
    rc, out, err = run([tool, "--connect", connection_string(path, password), "--tables"])
    if rc != 0:
        problems.append(f"{path}: listing failed: {err.strip()}")
        return 0
    ours = [line.split("\t")[0] for line in out.splitlines() if line.endswith("\tTABLE")]
    rc, out, _ = run(["mdb-tables", "-1", path])
    theirs = [t for t in out.splitlines() if t]
    if sorted(ours) != sorted(theirs):
        problems.append(f"{path}: tables {sorted(ours)} vs mdbtools {sorted(theirs)}")
        return 0
    rows_checked = 0
    for table in ours:
        rc, out, err = run([tool, "--connect", connection_string(path, password),
                            "--query", f"SELECT * FROM [{table}]"])
        if rc != 0:
            problems.append(f"{path} [{table}]: query failed: {err.strip()}")
            continue
        lines = out.splitlines()
        header = json.loads(lines[0])
        our_rows = [json.loads(line) for line in lines[1:]]
        rc, csv_text, csv_err = run(["mdb-export", "-T", DATE_FORMAT, "-b", "hex", path, table])
        unsupported = "unsupported data type" in csv_err
        mdb_rows = parse_csv(csv_text)
        names = [c["name"] for c in header["columns"]]
        their_names = [cell for cell, _ in mdb_rows[0]] if mdb_rows else []
        if names != their_names:
            problems.append(f"{path} [{table}]: columns {names} vs {their_names}")
            continue
        mdb_rows = mdb_rows[1:]
        if header["count"] != len(our_rows) or len(our_rows) != len(mdb_rows):
            problems.append(f"{path} [{table}]: count {header['count']}, rows {len(our_rows)}, "
                            f"mdbtools rows {len(mdb_rows)}")
            continue
        types = [c["type"] for c in header["columns"]]
        skip = {k for k, n in enumerate(names) if (os.path.basename(path), table, n) in CALCULATED}

        def row_difference(ours_row, mdb_row):
            for k, (value, (cell, quoted)) in enumerate(zip(ours_row, mdb_row)):
                if k in skip:
                    continue
                why = same_value(types[k], value, cell, quoted, unsupported)
                if why:
                    return f"column {names[k]}: {why}"
            return None

        in_order = [(r, row_difference(a, b)) for r, (a, b) in enumerate(zip(our_rows, mdb_rows))]
        if any(why for _, why in in_order):
            unmatched = list(range(len(mdb_rows)))
            for r, ours_row in enumerate(our_rows):
                hit = next((m for m in unmatched if not row_difference(ours_row, mdb_rows[m])), None)
                if hit is None:
                    why = in_order[r][1] or "no matching row"
                    problems.append(f"{path} [{table}] row {r}: {why}")
                else:
                    unmatched.remove(hit)
        rows_checked += len(our_rows)
    return rows_checked


def check_password(tool, path, password, problems):
    """The right password opens; a wrong or missing one gives the error and nothing else."""
    for given in ("", "not-" + password, password.upper()):
        rc, out, err = run([tool, "--connect", connection_string(path, given), "--tables",
                            "--query", "SELECT * FROM [Table1]"])
        if rc != 1 or out != "" or not err.startswith("error -2147217843: "):
            problems.append(f"{path}: password {given!r} gave status {rc}, output {out[:80]!r}, "
                            f"error {err.strip()[:80]!r}")
    rc, out, err = run([tool, "--connect", connection_string(path, password), "--tables"])
    if rc != 0 or "\tTABLE" not in out:
        problems.append(f"{path}: the right password did not open it: {err.strip()}")


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--tool", required=True)
    ap.add_argument("--fixtures", required=True)
    args = ap.parse_args()
    index = os.path.join(args.fixtures, "INDEX.tsv")
    if not os.path.exists(index):
        print(f"SKIP: compares files made by Access with mdb-export: no fixtures at {args.fixtures}")
        return 77
    if not shutil.which("mdb-export"):
        print("SKIP: mdbtools is not installed")
        return 77
    problems, files, rows = [], 0, 0
    with open(index, encoding="utf-8") as f:
        head = f.readline().rstrip("\n").split("\t")
        for line in f:
            cells = dict(zip(head, line.rstrip("\n").split("\t")))
            path = os.path.join(args.fixtures, cells["path"])
            if cells.get("password") and cells.get("format") in ("Jet3", "Jet4"):
                check_password(args.tool, path, cells["password"], problems)
            if cells.get("mdbtools_reads") != "yes":
                continue
            files += 1
            rows += check_file(args.tool, os.path.join(args.fixtures, cells["path"]),
                               cells.get("password", ""), problems)
    for p in problems:
        print(p)
    print(f"{files} files, {rows} rows compared, {len(problems)} differences")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())

#!/usr/bin/env python3
"""Writes an Access file through vellquist-sql --script and checks it with
three readers (check_written_file.py).

A copy of a Jet4 and of an ACE fixture each get the same script (with
--created: new files made by vellquist-sql --create in each format it makes,
one with a database password, checked empty first and then after the script): a table with
a column of every Jet SQL type filled with the extremes of each, Unicode,
quotes, nulls and long values; a second table with awkward names and a NOT
NULL column; a copy of the first made with SELECT ... INTO; a table created,
filled and dropped again; and one of the fixture's own tables dropped. The expected tables are the
fixture's untouched ones as our reader saw them before, plus the new ones as
written below.

Exit status 0 when every reader reads exactly what was written, 1 otherwise,
77 when the fixtures or a reader are missing or the engine cannot write yet.
"""
import argparse
import json
import os
import shutil
import stat
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import check_written_file as checker  # noqa: E402

SKIP = 77
NOT_SUPPORTED = -2146825037
FIXTURES = ["mdb-reader/test/data/V2003/test.mdb", "mdb-reader/test/data/V2010/test.accdb"]

# ADO type codes as our reader reports them.
TEXT, MEMO, BYTE, SHORT, LONG, CURRENCY, SINGLE, DOUBLE = 202, 203, 17, 2, 3, 6, 4, 5
DECIMAL, DATE, BIT, BINARY, OLE, GUID = 131, 7, 11, 204, 205, 72

# The all-types table: name, Jet SQL type, ADO type.
ALL_TYPES = [
    ("id", "COUNTER", LONG),
    ("c_text", "TEXT(50)", TEXT),
    ("c_memo", "MEMO", MEMO),
    ("c_byte", "BYTE", BYTE),
    ("c_short", "SHORT", SHORT),
    ("c_long", "LONG", LONG),
    ("c_currency", "CURRENCY", CURRENCY),
    ("c_real", "REAL", SINGLE),
    ("c_float", "FLOAT", DOUBLE),
    ("c_decimal", "DECIMAL(28,6)", DECIMAL),
    ("c_date", "DATETIME", DATE),
    ("c_bit", "BIT", BIT),
    ("c_binary", "BINARY(16)", BINARY),
    ("c_ole", "OLEOBJECT", OLE),
    ("c_guid", "GUID", GUID),
]

UNICODE_50 = ("Ünïcödé Ωμέγα Кириллица 漢字かな €‰ ") * 2
UNICODE_50 = UNICODE_50[:50]
QUOTES = "O'Hara said \"hi\" `x` -- [b] 100% ; a,b \\ \t tab"
LONG_MEMO = ("Long value ü€漢 0123456789 " * 800)[:20000]
OLE_BYTES = bytes((i * 7 + 3) % 256 for i in range(10000))  # several pages long


def hex_of(data):
    return "0x" + data.hex().upper()


# Each row: (SQL literal, value as our reader prints it) per column after id.
# Values go in as the program's transfers send them: quoted text for
# everything but binary, which goes as a 0x literal.
def q(text):
    return "'" + text.replace("'", "''") + "'"


ROWS = [
    # The lowest value of every type.
    [(q("a"), "a"), (q("m"), "m"), (q("0"), 0), (q("-32768"), -32768),
     (q("-2147483648"), -2147483648),
     (q("-922337203685477.5808"), "-922337203685477.5808"),
     (q("-3.4028235e+38"), "-3.4028235e+38"),
     (q("-1.7976931348623157e+308"), "-1.7976931348623157e+308"),
     (q("-9999999999999999999999.999999"), "-9999999999999999999999.999999"),
     (q("0100-01-01 00:00:00"), "0100-01-01 00:00:00"),
     (q("False"), False), ("0x00", "0x00"), ("0x00", "0x00"),
     (q("{00000000-0000-0000-0000-000000000000}"), "{00000000-0000-0000-0000-000000000000}")],
    # The highest value of every type, full-length text and long values.
    [(q(UNICODE_50), UNICODE_50), (q(LONG_MEMO), LONG_MEMO), (q("255"), 255),
     (q("32767"), 32767), (q("2147483647"), 2147483647),
     (q("922337203685477.5807"), "922337203685477.5807"),
     (q("3.4028235e+38"), "3.4028235e+38"),
     (q("1.7976931348623157e+308"), "1.7976931348623157e+308"),
     (q("9999999999999999999999.999999"), "9999999999999999999999.999999"),
     (q("9999-12-31 23:59:59"), "9999-12-31 23:59:59"),
     (q("True"), True), (hex_of(b"\xff" * 16), hex_of(b"\xff" * 16)),
     (hex_of(OLE_BYTES), hex_of(OLE_BYTES)),
     (q("{FFFFFFFF-FFFF-FFFF-FFFF-FFFFFFFFFFFF}"), "{FFFFFFFF-FFFF-FFFF-FFFF-FFFFFFFFFFFF}")],
    # Nothing but nulls (a Yes/No column cannot hold one).
    [("NULL", None)] * 10 + [(q("False"), False)] + [("NULL", None)] * 3,
    # Quotes, small and fractional values, a date before 1899-12-30 with a time.
    [(q(QUOTES), QUOTES), (q(QUOTES + " memo"), QUOTES + " memo"), (q("1"), 1),
     (q("-1"), -1), (q("0"), 0), (q("0.0001"), "0.0001"), (q("1.1"), "1.1"),
     (q("5e-324"), "5e-324"), (q("-0.000001"), "-0.000001"),
     (q("1850-06-15 06:30:00"), "1850-06-15 06:30:00"), (q("True"), True),
     (hex_of(bytes(range(16))), hex_of(bytes(range(16)))), (hex_of(b"\x00\x01"), "0x0001"),
     (q("{6F9619FF-8B86-D011-B42D-00C04FC964FF}"), "{6F9619FF-8B86-D011-B42D-00C04FC964FF}")],
]

# A table whose names need their quoting, and that is copied nowhere.
# Table names go into the catalogue's text index, which this engine keys for
# printable ASCII; column names may hold any character.
ODD_TABLE = "Test 'Quoted' \"Name\" #1 ~(x) &+@"
ODD_COLUMNS = [("Näme with space", "TEXT(10) NOT NULL", TEXT), ("it's", "SHORT", SHORT)]
ODD_ROWS = [[(q("x"), "x"), (q("7"), 7)], [(q("ÿ'"), "ÿ'"), ("NULL", None)],
            [(q("z"), "z"), ("-12", -12)]]  # a bare number too


# The new files --created makes: file name, --format, password.
CREATED = [("new2003.mdb", "jet4", ""), ("new2000.mdb", "jet4-2000", ""),
           ("new2007.accdb", "ace12", ""), ("secret2003.mdb", "jet4", "Pä'ss wörd")]


def script_and_tables(drop_fixture_table=True):
    """The script's lines and the tables it leaves, as a description."""
    cols = ", ".join(f"`{n}` {t}" for n, t, _ in ALL_TYPES)
    lines = ["-- every Jet SQL type, then extremes, Unicode, quotes, nulls, long values",
             f"CREATE TABLE `AllTypes` ({cols});", ""]
    names = ", ".join(f"`{n}`" for n, _, _ in ALL_TYPES[1:])
    for row in ROWS:
        lines.append(f"INSERT INTO `AllTypes` ({names}) VALUES({', '.join(s for s, _ in row)})")
    lines += ["", "-- names that need their quoting",
              f"CREATE TABLE `{ODD_TABLE}` ("
              + ", ".join(f"`{n}` {t}" for n, t, _ in ODD_COLUMNS) + ");"]
    for row in ODD_ROWS:
        lines.append(f"INSERT INTO `{ODD_TABLE}` VALUES({', '.join(s for s, _ in row)})")
    lines += ["", "-- a copy made by the database, and tables dropped",
              "SELECT a1.* INTO `AllTypesCopy` FROM `AllTypes` AS a1;",
              "CREATE TABLE `Doomed` (`a` LONG, `b` TEXT(5))",
              "INSERT INTO `Doomed` VALUES('1', 'gone')",
              "DROP TABLE `Doomed`"]
    if drop_fixture_table:
        lines.append("DROP TABLE `Table3`;")
    all_rows = [[k + 1] + [v for _, v in row] for k, row in enumerate(ROWS)]
    columns = [{"name": n, "type": a} for n, _, a in ALL_TYPES]
    tables = [{"name": "AllTypes", "columns": columns, "rows": all_rows},
              {"name": "AllTypesCopy", "columns": columns, "rows": all_rows},
              {"name": ODD_TABLE, "columns": [{"name": n, "type": a} for n, _, a in ODD_COLUMNS],
               "rows": [[v for _, v in row] for row in ODD_ROWS],
               "required": ["Näme with space"]}]
    return lines, tables, ["Table3"]


def copy_fixture(source, folder):
    target = os.path.join(folder, os.path.basename(source))
    shutil.copyfile(source, target)
    os.chmod(target, os.stat(target).st_mode | stat.S_IWUSR)
    return target


def check(tool, path, password, tables, folder):
    """Runs check_written_file.py on `path` against `tables`; True when it agrees."""
    expected = os.path.join(folder, os.path.basename(path) + ".expected.json")
    with open(expected, "w", encoding="utf-8") as f:
        checker.write_description({"tables": tables}, f)
    command = [sys.executable, os.path.join(HERE, "check_written_file.py"), path,
               "--tool", tool, "--expected", expected]
    if password:
        command += ["--password", password]
    rc, out, err = checker.mdbtools.run(command)
    print(out + err, end="")
    return rc == 0


def schema_problems(path, tables):
    """What mdb-schema gets wrong about `path`: a warning, or other tables or
    columns than `tables` (a description) lists."""
    rc, out, err = checker.mdbtools.run(["mdb-schema", path])
    if rc != 0 or err.strip():
        return [f"mdb-schema: status {rc}, stderr {err.strip()[:200]!r}"]
    found, current = {}, None
    for line in out.splitlines():
        line = line.strip()
        if line.startswith("CREATE TABLE ["):
            current = line[len("CREATE TABLE ["):line.rindex("]")]
            found[current] = []
        elif current is not None and line.startswith("["):
            found[current].append(line[1:line.index("]")])
        elif line.startswith(");"):
            current = None
    want = {t["name"]: [c["name"] for c in t["columns"]] for t in tables}
    if found != want:
        return [f"mdb-schema: tables and columns {found}, expected {want}"]
    return []


def run_created(args):
    """The script on files made from nothing: each must be empty at first and
    hold exactly the script's tables afterwards."""
    missing = checker.find_readers(shutil.which("node"))
    if missing:
        print(f"SKIP: missing {missing}")
        return SKIP
    lines, written, _ = script_and_tables(drop_fixture_table=False)
    failures = 0
    with tempfile.TemporaryDirectory() as scratch:
        folder = args.keep or scratch
        os.makedirs(folder, exist_ok=True)
        script = os.path.join(folder, "all_types.sql")
        with open(script, "w", encoding="utf-8") as f:
            f.write("\n".join(lines) + "\n")
        for name, fmt, password in CREATED:
            path = os.path.join(folder, name)
            if os.path.exists(path):
                os.remove(path)
            command = [args.tool, "--create", path, "--format", fmt]
            if password:
                command += ["--password", password]
            rc, out, err = checker.mdbtools.run(command)
            if rc != 0 or not check(args.tool, path, password, [], folder) or schema_problems(
                    path, []):
                print(f"{name}: the new file is not an empty database: {err.strip()}")
                failures += 1
                continue
            rc, out, err = checker.mdbtools.run(
                [args.tool, "--connect", checker.mdbtools.connection_string(path, password),
                 "--script", script])
            if rc != 0:
                print(f"{name}: the script failed: {err.strip()}")
                failures += 1
                continue
            problems = schema_problems(path, written)
            print("".join(f"{name}: {p}\n" for p in problems), end="")
            if problems or not check(args.tool, path, password, written, folder):
                failures += 1
    return 1 if failures else 0


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--tool", required=True)
    ap.add_argument("--fixtures")
    ap.add_argument("--created", action="store_true",
                    help="run on new files made by --create instead of fixture copies")
    ap.add_argument("--keep", help="leave the written files and scripts in this folder")
    args = ap.parse_args()
    if args.created:
        return run_created(args)
    if not args.fixtures:
        ap.error("give --fixtures or --created")
    sources = [os.path.join(args.fixtures, f) for f in FIXTURES]
    if not all(os.path.exists(s) for s in sources):
        print("SKIP: writes into copies of files made by Access, an extra case beside "
              f"access_created_file_all_types: no fixtures at {args.fixtures}")
        return SKIP
    missing = checker.find_readers(shutil.which("node"))
    if missing:
        print(f"SKIP: missing {missing}")
        return SKIP
    lines, written, dropped = script_and_tables()
    failures = 0
    with tempfile.TemporaryDirectory() as scratch:
        folder = args.keep or scratch
        os.makedirs(folder, exist_ok=True)
        script = os.path.join(folder, "all_types.sql")
        with open(script, "w", encoding="utf-8") as f:
            f.write("\n".join(lines) + "\n")
        for source in sources:
            before = checker.describe(args.tool, source, "")
            path = copy_fixture(source, folder)
            rc, out, err = checker.mdbtools.run(
                [args.tool, "--connect", checker.mdbtools.connection_string(path),
                 "--script", script])
            if rc != 0:
                print(f"{os.path.basename(path)}: the script failed: {err.strip()}")
                failures += 1
                continue
            kept = [t for t in before["tables"] if t["name"] not in dropped]
            expected = os.path.join(folder, os.path.basename(path) + ".expected.json")
            with open(expected, "w", encoding="utf-8") as f:
                checker.write_description({"tables": kept + written}, f)
            rc, out, err = checker.mdbtools.run(
                [sys.executable, os.path.join(HERE, "check_written_file.py"), path,
                 "--tool", args.tool, "--expected", expected])
            print(out + err, end="")
            if rc != 0:
                failures += 1
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())

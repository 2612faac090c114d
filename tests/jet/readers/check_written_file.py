#!/usr/bin/env python3
"""Checks an Access file with three readers that share no code: our own
(vellquist-sql --query), mdbtools (mdb-tables and mdb-export) and the
mdb-reader library (dump_mdb_reader.mjs). Each must give exactly the tables,
columns and rows of an expected description, and mdbtools must print no
warning.

The expected description is a JSON file:

  {"tables": [{"name": "Orders",
               "columns": [{"name": "ID", "type": 3}, ...],
               "rows": [[1, "text", true, null, "2024-01-31 12:00:00", ...], ...]}]}

with ADO type codes and values as vellquist-sql prints them: null,
true/false, JSON integers for integer columns, and the data-access layer's
text form for everything else (see tools/vellquist-sql/json_lines.cpp).
A table with attachment or multi-value columns lists them under "complex":
their values are the rows' references into hidden tables, which our reader
and mdbtools give as integers and mdb-reader does not read at all.
`--describe` prints such a description of a file as our reader sees it.

Our reader must match the description to the letter. The other two are held
to the same values, read through the few spellings in which they are known to
differ (see same_as_mdb_reader below, and compare_with_mdbtools.same_value for
mdbtools, whose rules this reuses).

Exit status 0 when all three agree with the description, 1 on any
difference, 77 when mdbtools, node or mdb-reader is missing, 2 on bad usage.
"""
import argparse
import decimal
import json
import math
import os
import shutil
import struct
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.dirname(HERE))
import compare_with_mdbtools as mdbtools  # noqa: E402  (tests/jet, beside this folder)

SKIP = 77

# The mdb-reader column type of each ADO type our reader reports.
MDB_READER_TYPES = {202: "text", 203: "memo", 17: "byte", 2: "integer", 3: "long",
                    20: "bigint", 6: "currency", 4: "float", 5: "double", 7: "datetime",
                    11: "boolean", 204: "binary", 205: "ole", 72: "repid", 131: "numeric",
                    "complex": "complex"}
# What mdb-reader gives for each value of an attachment or multi-value column.
MDB_READER_COMPLEX_VALUE = {"unsupported": "complex"}


def query_all(tool, path, password, table):
    """Our reader's header and rows of `table`, or an error text."""
    rc, out, err = mdbtools.run([tool, "--connect", mdbtools.connection_string(path, password),
                                 "--query", f"SELECT * FROM `{table}`"])
    if rc != 0:
        return None, None, err.strip()
    lines = out.splitlines()
    return json.loads(lines[0]), [json.loads(line) for line in lines[1:]], None


def our_tables(tool, path, password):
    """The user tables our reader lists, or an error text."""
    rc, out, err = mdbtools.run([tool, "--connect", mdbtools.connection_string(path, password),
                                 "--tables"])
    if rc != 0:
        return None, err.strip()
    return [line.split("\t")[0] for line in out.splitlines() if line.endswith("\tTABLE")], None


def complex_columns(tool, path, password, table):
    """The attachment and multi-value columns of `table`, as our reader's
    --schema names them (COMPLEX), or an error text."""
    rc, out, err = mdbtools.run([tool, "--connect", mdbtools.connection_string(path, password),
                                 "--schema", table])
    if rc != 0:
        return None, err.strip()
    return [line[len("COLUMN ["):line.rindex("]")] for line in out.splitlines()
            if line.startswith("COLUMN [") and line.endswith("] COMPLEX")], None


def describe(tool, path, password):
    """The description of `path` as our reader sees it."""
    names, err = our_tables(tool, path, password)
    if err:
        raise SystemExit(f"cannot list {path}: {err}")
    tables = []
    for name in names:
        header, rows, err = query_all(tool, path, password, name)
        if err:
            raise SystemExit(f"cannot read {name} of {path}: {err}")
        table = {"name": name, "columns": header["columns"], "rows": rows}
        complex_names, err = complex_columns(tool, path, password, name)
        if err:
            raise SystemExit(f"cannot read the shape of {name} of {path}: {err}")
        if complex_names:
            table["complex"] = complex_names
        tables.append(table)
    return {"tables": tables}


def write_description(description, out):
    """The description as JSON, one column or row a line, so it reads and diffs well."""
    def dumps(value):
        return json.dumps(value, ensure_ascii=False)
    out.write('{"tables": [\n')
    for t, table in enumerate(description["tables"]):
        out.write(f' {{"name": {dumps(table["name"])},\n  "columns": [\n')
        out.write(",\n".join("   " + dumps(c) for c in table["columns"]))
        out.write('],\n  "rows": [\n')
        out.write(",\n".join("   " + dumps(r) for r in table["rows"]))
        out.write("]")
        for key in ("required", "complex"):
            if key in table:
                out.write(f',\n  "{key}": {dumps(table[key])}')
        out.write("}" + ("," if t + 1 < len(description["tables"]) else "") + "\n")
    out.write("]}\n")


def check_ours(tool, path, password, expected, problems):
    names, err = our_tables(tool, path, password)
    if err:
        problems.append(f"vellquist-sql: listing failed: {err}")
        return
    if sorted(names) != sorted(expected):
        problems.append(f"vellquist-sql: tables {sorted(names)}, expected {sorted(expected)}")
    for name in sorted(set(names) & set(expected)):
        want = expected[name]
        header, rows, err = query_all(tool, path, password, name)
        if err:
            problems.append(f"vellquist-sql [{name}]: query failed: {err}")
            continue
        if header["columns"] != want["columns"]:
            problems.append(f"vellquist-sql [{name}]: columns {header['columns']}, "
                            f"expected {want['columns']}")
            continue
        if header["count"] != len(rows):
            problems.append(f"vellquist-sql [{name}]: count {header['count']} but {len(rows)} rows")
        # Our own text forms: equal to the letter, and true is not 1.
        compare_rows("vellquist-sql", name, want, rows,
                     lambda _, e, g: None if type(e) is type(g) and e == g else f"{e!r} vs {g!r}",
                     problems, any_order=False)


def compare_rows(reader, table, want, got, differ, problems, any_order):
    """Reports rows of `got` that differ from the expected rows. `differ(type,
    expected, got)` gives None for equal values, else a reason. With
    `any_order`, rows may come in another order as long as each expected row
    meets a distinct equal row."""
    names = [c["name"] for c in want["columns"]]
    types = [c["type"] for c in want["columns"]]
    expected_rows = want["rows"]

    def row_difference(e_row, g_row):
        if len(g_row) != len(e_row):
            return f"{len(g_row)} values, expected {len(e_row)}"
        for k, (e, g) in enumerate(zip(e_row, g_row)):
            why = differ(types[k], e, g)
            if why:
                return f"column {names[k]}: {why}"
        return None

    if len(got) != len(expected_rows):
        problems.append(f"{reader} [{table}]: {len(got)} rows, expected {len(expected_rows)}")
    in_order = [row_difference(e, g) for e, g in zip(expected_rows, got)]
    if not any(in_order):
        return
    if any_order and len(got) == len(expected_rows):
        unmatched = list(range(len(got)))
        missing = []
        for r, e_row in enumerate(expected_rows):
            hit = next((m for m in unmatched if not row_difference(e_row, got[m])), None)
            if hit is None:
                missing.append(r)
            else:
                unmatched.remove(hit)
        if not missing:
            return
        in_order = [in_order[r] if r in missing else None for r in range(len(in_order))]
    for r, why in enumerate(in_order):
        if why:
            problems.append(f"{reader} [{table}] row {r + 1}: {why}")


# The longest text mdb-export prints: its bind buffer of 200,000 bytes, less
# the terminating zero (longer memos come out cut short).
MDBTOOLS_TEXT_LIMIT = 199999
MDBTOOLS_BIGINT_WARNING = "Warning: mdb_col_to_string called on unsupported data type 19."


def mdbtools_difference(ado_type, expected, cell):
    """mdb-export's cell (text, quoted) against an expected value, by the rules
    compare_with_mdbtools holds for mdbtools' own spellings: 1/0 for truth
    values, plain decimals, hex without "0x", and its known faults with old
    dates and unassigned code-page bytes."""
    value, quoted = cell
    if (ado_type == 204 and isinstance(expected, str) and expected.startswith("0x")
            and "00" in [expected[i:i + 2] for i in range(2, len(expected), 2)]):
        # mdbtools 1.0 prints a short binary value as a C string: it stops at
        # the first 00 byte. Only the bytes before it can be compared.
        body = expected[2:].upper()
        cut = next(i for i in range(0, len(body), 2) if body[i:i + 2] == "00")
        return None if value.upper() == body[:cut] else f"binary {expected[:40]} vs {value[:40]}"
    if ado_type == 20 and value == "" and not quoted:
        return None  # Large Number: unknown to mdbtools 1.0 (see check_mdbtools)
    if ado_type in (4, 5) and expected is not None and value != "":
        return mdbtools_float_difference(ado_type, expected, value)
    if ado_type in (202, 203) and isinstance(expected, str):
        # mdbtools 1.0 turns text into UTF-8 one UTF-16 unit at a time, so a
        # character beyond the BMP (a surrogate pair) comes out as "??"; and
        # it keeps at most MDBTOOLS_TEXT_LIMIT characters of a memo.
        expected = "".join("??" if ord(ch) > 0xFFFF else ch for ch in expected)
        if len(expected) > MDBTOOLS_TEXT_LIMIT and len(value) == MDBTOOLS_TEXT_LIMIT:
            expected = expected[:MDBTOOLS_TEXT_LIMIT]
    return mdbtools.same_value(ado_type, expected, value, quoted)


def mdbtools_float_difference(ado_type, expected, text):
    """mdb-export prints a double with 16 significant digits and a single with
    8: one short of what it takes to read back the same number, so the values
    are compared within those digits. Near the largest double the 16-digit
    text even lies beyond it (1.797693134862316e+308), and is then compared
    as a decimal rather than read as a float."""
    tolerance = 1e-6 if ado_type == 4 else 1e-14
    try:
        a, b = float(expected), float(text)
    except ValueError:
        return f"{expected!r} vs {text!r}"
    if a != a or b != b:
        return None if a != a and b != b else f"{expected!r} vs {text!r}"
    if math.isinf(b) and not math.isinf(a):
        a, b = decimal.Decimal(expected), decimal.Decimal(text)
        tolerance = decimal.Decimal(tolerance)
    if a == b or abs(a - b) <= tolerance * max(abs(a), abs(b)):
        return None
    return f"{expected!r} vs {text!r}"


def check_mdbtools(path, expected, problems):
    rc, out, err = mdbtools.run(["mdb-tables", "-1", path])
    if rc != 0 or err.strip():
        problems.append(f"mdb-tables: status {rc}, stderr {err.strip()[:200]!r}")
        return
    names = [t for t in out.splitlines() if t]
    if sorted(names) != sorted(expected):
        problems.append(f"mdb-tables: tables {sorted(names)}, expected {sorted(expected)}")
    for name in sorted(set(names) & set(expected)):
        want = expected[name]
        rc, csv_text, err = mdbtools.run(["mdb-export", "-T", mdbtools.DATE_FORMAT, "-b", "hex",
                                          path, name])
        # A warning means mdbtools met something in the file it did not
        # understand; for a file we wrote that is a fault even if the values
        # agree. The one exception: mdbtools 1.0 does not know Large Number
        # (BIGINT) columns, warns about each value and prints it empty.
        if any(c["type"] == 20 for c in want["columns"]):
            err = "\n".join(line for line in err.splitlines()
                             if line != MDBTOOLS_BIGINT_WARNING)
        if rc != 0 or err.strip():
            problems.append(f"mdb-export [{name}]: status {rc}, stderr {err.strip()[:200]!r}")
            if rc != 0:
                continue
        rows = mdbtools.parse_csv(csv_text)
        header = [value for value, _ in rows[0]] if rows else []
        wanted_names = [c["name"] for c in want["columns"]]
        if header != wanted_names:
            problems.append(f"mdb-export [{name}]: columns {header}, expected {wanted_names}")
            continue
        # mdbtools returns rows moved to another page where their data lives,
        # not in slot order (KNOWN_MDBTOOLS_FAULTS), so any order is accepted
        # from it as long as every row matches.
        compare_rows("mdb-export", name, want, rows[1:], mdbtools_difference, problems,
                     any_order=True)


def not_null_columns(schema_text):
    """Table name -> the columns mdb-schema declares NOT NULL."""
    tables, current = {}, None
    for line in schema_text.splitlines():
        if line.startswith("CREATE TABLE ["):
            current = line[len("CREATE TABLE ["):line.rindex("]")]
            tables[current] = []
        elif current is not None and line.startswith("\t[") and "NOT NULL" in line:
            tables[current].append(line[2:line.index("]")])
    return tables


def check_required(path, expected, problems):
    """Columns made NOT NULL carry the property Access reads (mdb-schema shows it)."""
    wanted = {name: t["required"] for name, t in expected.items() if "required" in t}
    if not wanted:
        return
    rc, out, err = mdbtools.run(["mdb-schema", path, "access"])
    if rc != 0 or err.strip():
        problems.append(f"mdb-schema: status {rc}, stderr {err.strip()[:200]!r}")
        return
    found = not_null_columns(out)
    for name, columns in wanted.items():
        if sorted(found.get(name, [])) != sorted(columns):
            problems.append(f"mdb-schema [{name}]: NOT NULL on {sorted(found.get(name, []))}, "
                            f"expected {sorted(columns)}")


def float32(text):
    return struct.unpack("<f", struct.pack("<f", float(text)))[0]


def same_as_mdb_reader(ado_type, expected, got):
    """None when mdb-reader's value (as dump_mdb_reader.mjs prints it) is the
    expected one, else a reason."""
    if expected is None or got is None:
        return None if expected is got else f"{expected!r} vs {got!r}"
    if ado_type in (6, 131):
        # The library keeps every digit of the column's scale ("3.5000"); ours
        # drops trailing zeros. Both are exact decimals: compare them as such.
        try:
            same = decimal.Decimal(expected) == decimal.Decimal(got)
        except decimal.InvalidOperation:
            same = False
        return None if same else f"{expected!r} vs {got!r}"
    if ado_type in (4, 5):
        # Shortest round-trip texts of the same number may spell the exponent
        # differently ("1e-07" and "1e-7"); a single is four bytes, so two texts
        # are the same single when they round to the same float.
        try:
            a, b = float(expected), float(got)
            if ado_type == 4:
                a, b = float32(expected), float32(got)
        except (TypeError, ValueError):
            return f"{expected!r} vs {got!r}"
        return None if a == b or (a != a and b != b) else f"{expected!r} vs {got!r}"
    if isinstance(expected, bool) or isinstance(got, bool):
        return None if expected is got else f"{expected!r} vs {got!r}"
    return None if expected == got else f"{expected!r} vs {got!r}"


def as_mdb_reader_reads(want):
    """`want` with its attachment and multi-value columns as mdb-reader gives
    them: of type "complex", each value its marker for a value it does not read."""
    complex_names = set(want.get("complex", []))
    if not complex_names:
        return want
    at = [k for k, c in enumerate(want["columns"]) if c["name"] in complex_names]
    columns = [dict(c, type="complex") if k in at else c for k, c in enumerate(want["columns"])]
    rows = [[MDB_READER_COMPLEX_VALUE if k in at else v for k, v in enumerate(row)]
            for row in want["rows"]]
    return dict(want, columns=columns, rows=rows)


def check_mdb_reader(node, dump, path, password, expected, problems, any_order=False):
    cmd = [node, dump, path] + (["--password", password] if password else [])
    rc, out, err = mdbtools.run(cmd)
    if rc != 0:
        problems.append(f"mdb-reader: status {rc}: {err.strip()[:300]}")
        return
    tables, current = {}, None
    for line in out.splitlines():
        item = json.loads(line)
        if isinstance(item, dict):
            current = tables.setdefault(item["table"], {"head": item, "rows": []})
        else:
            current["rows"].append(item)
    if sorted(tables) != sorted(expected):
        problems.append(f"mdb-reader: tables {sorted(tables)}, expected {sorted(expected)}")
    for name in sorted(set(tables) & set(expected)):
        want, got = as_mdb_reader_reads(expected[name]), tables[name]
        columns = [(c["name"], c["type"]) for c in got["head"]["columns"]]
        wanted = [(c["name"], MDB_READER_TYPES.get(c["type"], f"ADO type {c['type']}"))
                  for c in want["columns"]]
        if columns != wanted:
            problems.append(f"mdb-reader [{name}]: columns {columns}, expected {wanted}")
            continue
        if got["head"]["count"] != len(got["rows"]):
            problems.append(f"mdb-reader [{name}]: count {got['head']['count']} "
                            f"but {len(got['rows'])} rows")
        compare_rows("mdb-reader", name, want, got["rows"], same_as_mdb_reader, problems,
                     any_order=any_order)


def find_readers(node, with_mdbtools=True, with_mdb_reader=True):
    """The missing readers, as a message, or None. `node` is the node binary or None."""
    missing = []
    if with_mdbtools and (not shutil.which("mdb-export") or not shutil.which("mdb-tables")):
        missing.append("mdbtools (mdb-tables, mdb-export)")
    if not with_mdb_reader:
        pass
    elif not node:
        missing.append("node")
    elif not os.path.isdir(os.path.join(HERE, "node_modules", "mdb-reader")):
        missing.append("mdb-reader (run scripts/setup-deps.sh)")
    return ", ".join(missing) if missing else None


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("file")
    ap.add_argument("--tool", required=True, help="the vellquist-sql binary")
    ap.add_argument("--password", default="")
    ap.add_argument("--expected", help="the expected description (JSON)")
    ap.add_argument("--describe", action="store_true",
                    help="print the description our reader gives, and check nothing")
    ap.add_argument("--node", default=shutil.which("node") or shutil.which("nodejs"))
    ap.add_argument("--no-mdbtools", action="store_true",
                    help="leave mdbtools out: it does not read encrypted .accdb files")
    ap.add_argument("--no-mdb-reader", action="store_true",
                    help="leave mdb-reader out: for files it already fails to read as they came")
    ap.add_argument("--any-order", action="store_true",
                    help="accept mdb-reader's rows in another order: on pages whose deleted "
                         "slots were reused it does not read rows in slot order")
    args = ap.parse_args()
    if args.describe:
        write_description(describe(args.tool, args.file, args.password), sys.stdout)
        return 0
    if not args.expected:
        ap.error("give --expected or --describe")
    missing = find_readers(args.node, not args.no_mdbtools, not args.no_mdb_reader)
    if missing:
        print(f"SKIP: missing {missing}")
        return SKIP
    with open(args.expected, encoding="utf-8") as f:
        expected = {t["name"]: t for t in json.load(f)["tables"]}
    problems = []
    check_ours(args.tool, args.file, args.password, expected, problems)
    if not args.no_mdbtools:
        check_mdbtools(args.file, expected, problems)
        check_required(args.file, expected, problems)
    if not args.no_mdb_reader:
        check_mdb_reader(args.node, os.path.join(HERE, "dump_mdb_reader.mjs"), args.file,
                         args.password, expected, problems, args.any_order)
    for p in problems:
        print(p)
    rows = sum(len(t["rows"]) for t in expected.values())
    readers = "three readers" if not args.no_mdbtools and not args.no_mdb_reader else "two readers"
    print(f"{args.file}: {len(expected)} tables, {rows} rows, {readers}, "
          f"{len(problems)} differences")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())

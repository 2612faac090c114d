#!/usr/bin/env node
// Prints the user tables of an Access file as the mdb-reader library reads
// them, one JSON value per line, for check_written_file.py to compare:
//
//   {"table":"Orders","columns":[{"name":"ID","type":"long"},...],"count":2}
//   [1,"text",true,null,"2024-01-31 12:00:00","0x00FF","{GUID}",...]
//   ...
//
// Tables come in name order. Values take the text forms vellquist-sql prints
// wherever the difference is only one of spelling: the library's own value is
// kept, just written the way our reader writes it (each case says why), so the
// checker can compare most values as plain text.
//
// usage: node dump_mdb_reader.mjs FILE [--password PASSWORD]
// Exit status 0, or 1 with a message on stderr when the file cannot be read.

import { readFileSync } from "node:fs";
import { createRequire } from "node:module";
import path from "node:path";
import { fileURLToPath } from "node:url";

const here = path.dirname(fileURLToPath(import.meta.url));

// The library lives in this folder's node_modules; load it from there so the
// script works whatever folder it is started from.
async function loadReader() {
  const require = createRequire(path.join(here, "package.json"));
  const entry = require.resolve("mdb-reader");
  return (await import(entry)).default;
}

const MS_PER_DAY = 86400000;
const OLE_EPOCH_MS = Date.UTC(1899, 11, 30);

function pad(value, width) {
  return String(value).padStart(width, "0");
}

// The library turns the stored day count into a JavaScript Date as if it
// were linear (days + fraction from 1899-12-30). Below the epoch Access reads
// the fraction as a time of day counted forward from midnight (-1.25 is
// 1899-12-29 06:00), so the Date is turned back into the stored number of
// milliseconds and read that way. Above the epoch both readings agree.
function dateText(date) {
  const total = date.getTime() - OLE_EPOCH_MS; // days * MS_PER_DAY, rounded to ms
  let moment = date;
  if (total < 0) {
    const whole = Math.trunc(total / MS_PER_DAY);
    const timeOfDay = whole * MS_PER_DAY - total;
    moment = new Date(OLE_EPOCH_MS + whole * MS_PER_DAY + timeOfDay);
  }
  const year = moment.getUTCFullYear();
  let text = year < 0 ? "-" + pad(-year, 3) : pad(year, 4);
  text += "-" + pad(moment.getUTCMonth() + 1, 2) + "-" + pad(moment.getUTCDate(), 2);
  text += " " + pad(moment.getUTCHours(), 2) + ":" + pad(moment.getUTCMinutes(), 2);
  text += ":" + pad(moment.getUTCSeconds(), 2);
  const ms = moment.getUTCMilliseconds();
  // Our reader prints a fraction only when there is one, without trailing zeros.
  if (ms !== 0) text += "." + pad(ms, 3).replace(/0+$/, "");
  return text;
}

// The library gives a replication ID as lower-case groups without braces;
// ours is the same GUID as "{UPPER-CASE}".
function guidText(text) {
  return "{" + text.toUpperCase() + "}";
}

function valueText(value, column) {
  if (value === null || value === undefined) return null;
  switch (column.type) {
    case "boolean":
    case "byte":
    case "integer":
    case "long":
      return value;
    case "bigint":
      // JSON has no 64-bit integers; the digits are written out below.
      return { bigint: value.toString() };
    case "float":
    case "double":
      // A JavaScript number prints as the shortest text that reads back to
      // it, as ours does; only the exponent's spelling may differ.
      if (Number.isNaN(value)) return "NaN";
      if (!Number.isFinite(value)) return value > 0 ? "Infinity" : "-Infinity";
      return String(value);
    case "datetime":
      return dateText(value);
    case "binary":
    case "ole":
      // Bytes as "0x" and upper-case hex, as ours.
      return "0x" + Buffer.from(value).toString("hex").toUpperCase();
    case "repid":
      return guidText(value);
    case "currency":
    case "numeric":
    case "text":
    case "memo":
    case "datetimextended":
      return value;
    default:
      return { unsupported: column.type };
  }
}

// JSON.stringify with 64-bit integers written as bare digits.
function line(value) {
  return JSON.stringify(value, (_key, v) => (v && v.bigint !== undefined ? `@@${v.bigint}@@` : v))
    .replace(/"@@(-?\d+)@@"/g, "$1");
}

async function main(argv) {
  let file = null;
  let password;
  for (let i = 0; i < argv.length; i++) {
    if (argv[i] === "--password") {
      if (i + 1 >= argv.length) throw new Error("--password needs a value");
      password = argv[++i];
    } else if (file === null) {
      file = argv[i];
    } else {
      throw new Error(`unexpected argument ${argv[i]}`);
    }
  }
  if (file === null) throw new Error("usage: dump_mdb_reader.mjs FILE [--password PASSWORD]");
  const MDBReader = await loadReader();
  const reader = new MDBReader(readFileSync(file), password ? { password } : {});
  const names = reader.getTableNames().slice().sort();
  const out = [];
  for (const name of names) {
    const table = reader.getTable(name);
    const columns = table.getColumns();
    out.push(
      line({
        table: name,
        columns: columns.map((c) => ({ name: c.name, type: c.type })),
        count: table.rowCount,
      }),
    );
    for (const row of table.getData()) {
      out.push(line(columns.map((c) => valueText(row[c.name], c))));
    }
  }
  process.stdout.write(out.map((l) => l + "\n").join(""));
}

main(process.argv.slice(2)).catch((error) => {
  process.stderr.write(`dump_mdb_reader: ${error && error.message ? error.message : error}\n`);
  process.exit(1);
});

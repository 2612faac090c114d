#!/usr/bin/env bash
# vellquist-sql with an ASE connection string against the ASE test server:
# create, insert, query (JSON lines), the tables catalogue, and a server error
# with its message number.
# usage: vellquist_sql_ase.sh ASE-TEST-SERVER VELLQUIST-SQL
set -euo pipefail
server=$1
tool=$2
work=$(mktemp -d)
pid=
cleanup() {
  if [[ -n $pid ]]; then kill "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT

"$server" --port 0 --data "$work" --login sa:secret --database testdb >"$work/out" 2>"$work/err" &
pid=$!
line=
for _ in $(seq 1 200); do
  line=$(head -n1 "$work/out" 2>/dev/null || true)
  [[ $line == listening* ]] && break
  sleep 0.05
done
[[ $line == "listening on 127.0.0.1:"* ]] || { echo "server did not start: $line"; cat "$work/err"; exit 1; }
port=${line##*:}
cs="Provider=ASEOLEDB;Data Source=127.0.0.1:$port;User Id=sa;Password=secret;;Catalog=testdb"

fail() { echo "FAIL: $*"; exit 1; }

got=$("$tool" --connect "$cs" \
  --execute "CREATE TABLE [People]([id] INT, [name] UNIVARCHAR(40) NULL, [paid] MONEY NULL, [seen] DATETIME NULL, [ok] BIT)" \
  --execute "INSERT INTO [People] VALUES(1, 'Zoë O''Hara', 12.5, '2024-02-29 13:45:00', 1)" \
  --execute "INSERT INTO [People] VALUES(2, NULL, NULL, NULL, 0)" \
  --query "SELECT * FROM [People]")
want='{"columns":[{"name":"id","type":3},{"name":"name","type":202},{"name":"paid","type":6},{"name":"seen","type":135},{"name":"ok","type":11}],"count":2}
[1,"Zoë O'"'"'Hara","12.5","2024-02-29 13:45:00",true]
[2,null,null,null,false]'
[[ $got == "$want" ]] || fail "query output was:
$got
wanted:
$want"

for location in client server; do
  tables=$("$tool" --connect "$cs" --cursor-location "$location" --tables)
  grep -qxP 'People\tTABLE' <<<"$tables" || fail "People not listed as TABLE ($location): $tables"
  grep -qxP 'sysobjects\tSYSTEM TABLE' <<<"$tables" || fail "sysobjects not a SYSTEM TABLE"
done

if err=$("$tool" --connect "$cs" --execute "CREATE TABLE [People]([a] INT)" 2>&1 >/dev/null); then
  fail "a second CREATE TABLE succeeded"
fi
[[ $err == "error -2147217900: Msg 2714, Level 16, State 1: "*People* ]] || fail "2714 came back as: $err"

if err=$("$tool" --connect "${cs/secret/wrong}" --tables 2>&1 >/dev/null); then
  fail "a wrong password was accepted"
fi
[[ $err == "error -2147217843: "*4002* ]] || fail "wrong password came back as: $err"
echo "vellquist-sql against the ASE test server: ok"

#!/usr/bin/env bash
# vellquist-sql with an ASE connection string against the ASE test server:
# create, insert, query (JSON lines), every ASE type with its ADO code and exact
# value, the tables catalogue, and server errors with their message numbers.
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
# Every ASE type the program maps, with extremes, nulls, quotes and Unicode,
# created, filled and read back: the ADO codes and the exact text of each value.
got=$("$tool" --connect "$cs" \
  --execute "CREATE TABLE [Every Type]([i] INT, [ig] INTEGER NULL, [si] SMALLINT NULL, [ti] TINYINT NULL, [bi] BIGINT NULL, [nu] NUMERIC(38,0) NULL, [de] DECIMAL(10,4) NULL, [mo] MONEY NULL, [sm] SMALLMONEY NULL, [fl] FLOAT NULL, [re] REAL NULL, [dp] DOUBLE PRECISION NULL, [dt] DATETIME NULL, [sd] SMALLDATETIME NULL, [da] DATE NULL, [tm] TIME NULL, [ch] CHAR(6) NULL, [vc] VARCHAR(20) NULL, [tx] TEXT NULL, [uc] UNICHAR(4) NULL, [uv] UNIVARCHAR(20) NULL, [ut] UNITEXT NULL, [bn] BINARY(4) NULL, [vb] VARBINARY(8) NULL, [im] IMAGE NULL, [bt] BIT)" \
  --execute "INSERT INTO [Every Type] VALUES(-2147483648, 2147483647, -32768, 255, -9223372036854775808, 99999999999999999999999999999999999999, -123456.7891, -922337203685477.5808, 214748.3647, 1.7976931348623157e308, 1.5, -0.1, '1753-01-01 00:00:00', '2079-06-06 23:59:00', '0001-01-01', '23:59:59', 'it''s', 'a;b=c \"q\"', 'long '' text', N'Ωµ', N'Zoë 日本', N'unitext ✓', 0x00ff10ab, 0xdeadbeef, 0x0102, 1)" \
  --execute "INSERT INTO [Every Type] VALUES(0, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, 0)" \
  --query "SELECT * FROM [Every Type]")
want_columns='{"columns":[{"name":"i","type":3},{"name":"ig","type":3},{"name":"si","type":2},{"name":"ti","type":17},{"name":"bi","type":20},{"name":"nu","type":131},{"name":"de","type":14},{"name":"mo","type":6},{"name":"sm","type":6},{"name":"fl","type":5},{"name":"re","type":4},{"name":"dp","type":5},{"name":"dt","type":135},{"name":"sd","type":135},{"name":"da","type":133},{"name":"tm","type":134},{"name":"ch","type":129},{"name":"vc","type":200},{"name":"tx","type":201},{"name":"uc","type":130},{"name":"uv","type":202},{"name":"ut","type":203},{"name":"bn","type":128},{"name":"vb","type":204},{"name":"im","type":205},{"name":"bt","type":11}],"count":2}'
want_full='[-2147483648,2147483647,-32768,255,-9223372036854775808,"99999999999999999999999999999999999999","-123456.7891","-922337203685477.5808","214748.3647","1.7976931348623157e+308","1.5","-0.1","1753-01-01 00:00:00","2079-06-06 23:59:00","0001-01-01 00:00:00","1899-12-30 23:59:59","it'"'"'s","a;b=c \"q\"","long '"'"' text","Ωµ","Zoë 日本","unitext ✓","0x00FF10AB","0xDEADBEEF","0x0102",true]'
want_nulls='[0,null,null,null,null,null,null,null,null,null,null,null,null,null,null,null,null,null,null,null,null,null,null,null,null,false]'
want="$want_columns
$want_full
$want_nulls"
[[ $got == "$want" ]] || fail "every-type output was:
$got
wanted:
$want"

tables=$("$tool" --connect "$cs" --tables)
grep -qxP 'Every Type\tTABLE' <<<"$tables" || fail "Every Type not listed as TABLE: $tables"

# Server errors keep their message numbers: object not found, implicit
# conversion, and NULL into a NOT NULL column (bit included).
expect_error() {
  local want=$1
  shift
  local err
  if err=$("$tool" --connect "$cs" "$@" 2>&1 >/dev/null); then fail "succeeded: $*"; fi
  [[ $err == *"$want"* ]] || fail "wanted $want, got: $err"
}
expect_error "Msg 208," --query "SELECT * FROM [nope]"
expect_error "Msg 257," --execute "INSERT INTO [Every Type]([i],[bt]) VALUES('', 1)"
expect_error "Msg 233," --execute "INSERT INTO [Every Type]([i],[bt]) VALUES(NULL, 1)"
expect_error "Msg 233," --execute "INSERT INTO [Every Type]([i],[bt]) VALUES(5, NULL)"

echo "vellquist-sql against the ASE test server: ok"

#!/usr/bin/env bash
# Makes the sample database the program's "Load Sample/Example Database"
# button opens: a new Access 2002-2003 file with three small tables of
# invented lighthouse records, together holding a column of every type the
# engine writes, nulls, a long memo and a long OLE value, quotes, text beyond
# Latin-1, and dates before 1900.
#
#   bash scripts/make-sample.sh VELLQUIST-SQL OUTPUT.mdb
#
# OUTPUT is replaced: the file is made under a temporary name beside it and
# moved into place only once it is complete. The build runs this (target
# sample_database); `cmake --install` puts the result at Samples/sample.mdb.
set -euo pipefail

if [ $# -ne 2 ]; then
  echo "usage: $0 VELLQUIST-SQL OUTPUT.mdb" >&2
  exit 2
fi
tool=$1
out=$2
mkdir -p "$(dirname "$out")"
tmp="$out.making"
script="$out.making.sql"
rm -f "$tmp" "$script"
trap 'rm -f "$tmp" "$script"' EXIT

# A long keeper's log: about 12,000 characters over several lines' worth of text.
log=""
for day in $(seq 1 150); do
  log+="Day $day: lamp trimmed, glass cleaned, wind NW force $((day % 9)); "
done
# A long "photograph": 6,000 bytes of a made-up image header and pattern.
photo="0x89504E470D0A1A0A"
for ((i = 0; i < 5992; i++)); do
  printf -v byte '%02X' $(((i * 37 + 11) % 256))  # -v: no subshell for each of 6,000 bytes
  photo+=$byte
done

cat >"$script" <<SQL
-- Lighthouses: one column of every type.
CREATE TABLE \`Lighthouses\` (\`ID\` COUNTER, \`Name\` TEXT(60), \`Country\` TEXT(40), \`FirstLit\` DATETIME, \`Height\` REAL, \`RangeNm\` FLOAT, \`Active\` BIT, \`Keepers\` BYTE, \`Steps\` SHORT, \`Visitors\` LONG, \`Fee\` CURRENCY, \`Latitude\` DECIMAL(9,6), \`SiteCode\` GUID, \`Beacon\` BINARY(8), \`History\` MEMO, \`Photo\` OLEOBJECT)
INSERT INTO \`Lighthouses\` (\`Name\`, \`Country\`, \`FirstLit\`, \`Height\`, \`RangeNm\`, \`Active\`, \`Keepers\`, \`Steps\`, \`Visitors\`, \`Fee\`, \`Latitude\`, \`SiteCode\`, \`Beacon\`, \`History\`, \`Photo\`) VALUES('Skerrow Point', 'Scotland', '1787-11-03 18:00:00', '31.5', '18.25', True, '3', '142', '12408', '4.50', '58.712345', '{3F2504E0-4F89-11D3-9A0C-0305E82C3301}', 0x0102030405060708, 'Built of granite from the island''s own quarry.', 0x0D0A)
INSERT INTO \`Lighthouses\` (\`Name\`, \`Country\`, \`FirstLit\`, \`Height\`, \`RangeNm\`, \`Active\`, \`Keepers\`, \`Steps\`, \`Visitors\`, \`Fee\`, \`Latitude\`, \`SiteCode\`, \`Beacon\`, \`History\`, \`Photo\`) VALUES('Phare de l''Aubépine', 'France', '1698-06-21 21:30:00', '48', '23.5', True, '2', '265', '88310', '7.00', '47.301200', '{9B1DEB4D-3B7D-4BAD-9BDD-2B0D7B3DCB6D}', 0xFF00FF00, 'Its keepers wrote "Rien à signaler" on 4,000 nights.', $photo)
INSERT INTO \`Lighthouses\` (\`Name\`, \`Country\`, \`FirstLit\`, \`Height\`, \`RangeNm\`, \`Active\`, \`Keepers\`, \`Steps\`, \`Visitors\`, \`Fee\`, \`Latitude\`, \`SiteCode\`, \`Beacon\`, \`History\`, \`Photo\`) VALUES('Fyr Østerhavn', 'Danmark', '1899-12-29 06:00:00', '12.75', '9', False, '0', '58', '0', '0', '-0.000001', NULL, NULL, '$log', NULL)
INSERT INTO \`Lighthouses\` (\`Name\`, \`Country\`, \`FirstLit\`, \`Height\`, \`RangeNm\`, \`Active\`, \`Keepers\`, \`Steps\`, \`Visitors\`, \`Fee\`, \`Latitude\`, \`SiteCode\`, \`Beacon\`, \`History\`, \`Photo\`) VALUES('北岬灯台 Kita-misaki', '日本', '1926-04-01 00:00:00', '22.5', '17.5', True, '1', '-1', '2147483647', '922337203685477.5807', '43.120000', '{00000000-0000-0000-0000-000000000000}', 0x00, 'Лампа заменена в 1961 году; Ωμέγα.', NULL)
INSERT INTO \`Lighthouses\` (\`Name\`) VALUES('Unnamed rock light')

-- Keepers: quotes, text beyond Latin-1 and dates long before 1900.
CREATE TABLE \`Keepers\` (\`KeeperID\` COUNTER, \`LighthouseID\` LONG, \`FullName\` TEXT(80), \`Born\` DATETIME, \`Died\` DATETIME, \`Notes\` MEMO)
INSERT INTO \`Keepers\` (\`LighthouseID\`, \`FullName\`, \`Born\`, \`Died\`, \`Notes\`) VALUES('1', 'Alasdair "Sandy" MacRae', '1751-02-14 00:00:00', '1822-09-30 00:00:00', 'Kept the light for 35 years; never missed a night.')
INSERT INTO \`Keepers\` (\`LighthouseID\`, \`FullName\`, \`Born\`, \`Died\`, \`Notes\`) VALUES('1', 'Margaret O''Donnell', '1790-07-04 12:00:00', '1871-01-01 00:00:00', 'Took over from her father; wrote: "the sea is no one''s friend".')
INSERT INTO \`Keepers\` (\`LighthouseID\`, \`FullName\`, \`Born\`, \`Died\`, \`Notes\`) VALUES('2', 'Étienne Lefèvre', '1670-03-09 00:00:00', '1733-12-24 00:00:00', NULL)
INSERT INTO \`Keepers\` (\`LighthouseID\`, \`FullName\`, \`Born\`, \`Died\`, \`Notes\`) VALUES('3', 'Søren Kjærgaard', '1861-10-10 08:15:00', NULL, 'Tab	and back\\slash in his notes.')
INSERT INTO \`Keepers\` (\`LighthouseID\`, \`FullName\`, \`Born\`, \`Died\`, \`Notes\`) VALUES('4', '佐藤 花子', '1899-12-30 00:00:00', '1980-05-05 00:00:00', '灯台守の日誌 📖')
INSERT INTO \`Keepers\` (\`LighthouseID\`, \`FullName\`) VALUES(NULL, NULL)

-- Supply runs: a plain table of numbers and dates, nulls among them.
CREATE TABLE \`SupplyRuns\` (\`RunID\` LONG, \`LighthouseID\` LONG, \`Sailed\` DATETIME, \`OilGallons\` DOUBLE, \`Cost\` CURRENCY, \`Delivered\` BIT)
INSERT INTO \`SupplyRuns\` VALUES('1', '1', '1801-05-01 07:00:00', '120.5', '35.2500', True)
INSERT INTO \`SupplyRuns\` VALUES('2', '1', '1801-11-01 07:00:00', '98', '31', False)
INSERT INTO \`SupplyRuns\` VALUES('3', '2', '1899-01-15 09:45:30', NULL, NULL, True)
INSERT INTO \`SupplyRuns\` VALUES('4', '3', '2024-02-29 23:59:59', '0.125', '-12.3456', True)
SQL

"$tool" --create "$tmp" --format jet4 --script "$script"
mv -f "$tmp" "$out"

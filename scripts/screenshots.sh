#!/usr/bin/env bash
# Takes the README's screenshots of the real program: vellquist under Xvfb,
# against ase-test-server with its demo tables and the sample database, driven
# with xdotool as a user would drive it, into docs/screenshots/:
#
#   form1.png     the connection window, filled in for the demo server
#   form2.png     the tables window after "Load Sample/Example Database" and
#                 "Next >", both lists filled
#   transfer.png  a transfer to ASE under way, the progress bar moving
#   overwrite.png the question a second transfer of the same table asks
#
# It fails when the program does not start or the tables window does not show
# both lists. Needs xvfb, xdotool and imagemagick (installed when missing).
#
#   bash scripts/screenshots.sh          # VQ_BUILD_DIR (default build-shots) moves the build
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

bash scripts/setup-deps.sh
missing=()
for p in xvfb xdotool imagemagick; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""
  if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y --no-install-recommends "${missing[@]}"
fi

build=${VQ_BUILD_DIR:-build-shots}
launcher=()
if command -v ccache >/dev/null 2>&1; then
  launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVQ_BUILD_TESTS=OFF \
  -DVQ_BUILD_BENCH=OFF "${launcher[@]}" >/dev/null
cmake --build "$build" -j"$(nproc)" --target vellquist vellquist-sql ase-test-server sample_database

work=$(mktemp -d)
pids=()
cleanup() {
  local p
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  for p in "${pids[@]}"; do wait "$p" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT
fail() {
  echo "screenshots.sh: $*" >&2
  exit 1
}

# A screen of its own, at 96 dots per inch, so 15 twips are one pixel.
exec 9>"$work/display"
Xvfb -displayfd 9 -screen 0 1024x768x24 -dpi 96 -nolisten tcp >"$work/xvfb.log" 2>&1 &
pids+=($!)
for _ in $(seq 1 100); do [ -s "$work/display" ] && break; sleep 0.1; done
[ -s "$work/display" ] || fail "Xvfb did not start"
export DISPLAY=":$(head -1 "$work/display")"

"$build/tools/ase-test-server/ase-test-server" --port 0 --data "$work/ase" --login demo:demo \
  --database demo --init tools/ase-test-server/sample-data.sql >"$work/server.out" 2>"$work/server.err" &
pids+=($!)
port=""
for _ in $(seq 1 100); do
  port=$(sed -n 's/^listening on 127\.0\.0\.1:\([0-9]*\)$/\1/p' "$work/server.out")
  [ -n "$port" ] && break
  sleep 0.1
done
[ -n "$port" ] || fail "ase-test-server did not start: $(cat "$work/server.err")"

# The user's copy of the sample, made beforehand with one more table, big
# enough for the transfer to take a few seconds; the button hands out this copy.
mkdir -p "$work/config" "$work/data/vellquist"
sample="$work/data/vellquist/sample.mdb"
cp "$build/src/app/Samples/sample.mdb" "$sample"
chmod u+w "$sample"
{
  echo 'CREATE TABLE `Soundings` (`ID` LONG, `Taken` DATETIME, `DepthFathoms` DOUBLE, `Bottom` TEXT(40))'
  awk 'BEGIN { for (i = 1; i <= 40000; i++)
    printf "INSERT INTO `Soundings` VALUES(%d, #1890-%02d-%02d#, %.1f, %s)\n", i, i % 12 + 1, i % 28 + 1,
      (i * 7) % 90 + 0.5, (i % 3 ? "'\''sand and shell'\''" : "'\''rock'\''") }'
} >"$work/soundings.sql"
"$build/tools/vellquist-sql/vellquist-sql" --connect \
  "PROVIDER=Microsoft.Jet.OLEDB.4.0;Data Source=$sample;JET OLEDB:Database Password=" \
  --script "$work/soundings.sql"

cat >"$work/config/Zelvora.conf" <<CONF
[Vellquist]
AccessMDBFile=
AccessPassword=
ASEServer=127.0.0.1
ASEPort=$port
ASEUser=demo
ASEPassword=demo
ASEDatabase=demo
CONF

shots=docs/screenshots
mkdir -p "$shots"
# Everything on the screen, cut to the windows.
shoot() { import -window root png:- | convert - -trim +repage "$shots/$1"; }
# The mean brightness (0 black, 1 white) of a rectangle of the screen.
brightness() { import -window root -crop "$1" png:- | convert - -format '%[fx:mean]' info:; }
# Clicks at a point of window $1 given in twips, as the layouts give them.
click() {
  xdotool mousemove --window "$1" $(($2 / 15)) $(($3 / 15)) click 1
  sleep 0.5
}
visible_windows() { xdotool search --onlyvisible --name '^Vellquist$' 2>/dev/null || true; }

XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/data" "$build/src/app/vellquist" \
  >"$work/vellquist.log" 2>&1 &
vellquist_pid=$!
pids+=($vellquist_pid)
form1=""
for _ in $(seq 1 100); do
  form1=$(visible_windows | head -1)
  [ -n "$form1" ] && break
  kill -0 "$vellquist_pid" 2>/dev/null || fail "vellquist ended at once: $(cat "$work/vellquist.log")"
  sleep 0.1
done
[ -n "$form1" ] || fail "the connection window did not appear"
xdotool windowmove "$form1" 0 0
sleep 1
shoot form1.png

# "Load Sample/Example Database" (in Frame1 at 120, 120), then "Next >".
click "$form1" $((120 + 240 + 3000)) $((120 + 1260 + 200))
grep -q "^AccessMDBFile=$sample$" "$work/config/Zelvora.conf" ||
  fail "Load Sample/Example Database did not give the user's copy: $(grep AccessMDBFile "$work/config/Zelvora.conf")"
click "$form1" $((120 + 3900)) $((5010 + 200))
form2=""
for _ in $(seq 1 100); do
  form2=$(visible_windows | grep -vx "$form1" | head -1 || true)
  [ -n "$form2" ] && break
  sleep 0.1
done
[ -n "$form2" ] || fail "the tables window did not appear"
xdotool windowmove "$form2" 0 0
sleep 1
# Both lists (List1 and List2 at 240, 360 in their group boxes) hold entries:
# an empty list is white all over.
for list in "1 $(((120 + 240) / 15))" "2 $(((4080 + 240) / 15))"; do
  set -- $list
  level=$(brightness "200x100+$(($2 + 10))+$(((120 + 360) / 15 + 4))")
  awk -v l="$level" 'BEGIN { exit !(l < 0.985) }' || fail "List$1 of the tables window is empty (brightness $level)"
done
shoot form2.png

# Soundings (the third entry) to ASE: the first entry is clicked, then the
# arrow keys move the selection down.
click "$form2" $((120 + 240 + 600)) $((120 + 360 + 120))
xdotool key --window "$form2" Down Down
sleep 0.3
click "$form2" $((120 + 240 + 1600)) $((120 + 2600 + 200))
sleep 1.5
shoot transfer.png
# Wait for the transfer to end: the server then holds every row.
for _ in $(seq 1 600); do
  rows=$("$build/tools/vellquist-sql/vellquist-sql" --connect \
    "Provider=ASEOLEDB;Data Source=127.0.0.1:$port;User Id=demo;Password=demo;Catalog=demo" \
    --query "SELECT count(*) FROM [Soundings]" 2>/dev/null | sed -n 2p || true)
  [ "$rows" = "[40000]" ] && break
  sleep 0.5
done
[ "$rows" = "[40000]" ] || fail "the transfer did not bring every row to the server (${rows:-none})"
sleep 1
click "$form2" $((120 + 240 + 1600)) $((120 + 2600 + 200))
sleep 1
shoot overwrite.png
xdotool key Escape
echo "wrote $shots/form1.png, form2.png, transfer.png and overwrite.png"

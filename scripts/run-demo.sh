#!/usr/bin/env bash
# Tries Vellquist without an ASE server of your own: installs what is missing,
# builds, installs the program into demo/program, starts ase-test-server on
# loopback with a demo database (the server's own sample tables with rows), and
# starts vellquist with its settings in demo/config, filled in to reach that
# server (your own ~/.config and ~/.local/share are never read or written).
# The server stops when vellquist exits.
#
#   bash scripts/run-demo.sh                 # from a desktop session
#   bash scripts/run-demo.sh FILE.mdb        # with an Access file of your own
#
# Without a file named, the demo's Access file is a fresh copy of the sample
# database the build makes (Samples/sample.mdb in the program folder), so the
# demo needs nothing from outside the repository.
#
# VQ_DEMO_DIR (default: demo/ in the repository) and VQ_DEMO_BUILD_DIR
# (default: build-demo) move the two folders.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
  echo "run-demo.sh needs a desktop session (DISPLAY or WAYLAND_DISPLAY is not set)." >&2
  echo "Without one, scripts/screenshots.sh renders the two windows into docs/screenshots/." >&2
  exit 1
fi

bash scripts/setup-deps.sh

build=${VQ_DEMO_BUILD_DIR:-$root/build-demo}
demo=${VQ_DEMO_DIR:-$root/demo}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVQ_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" -j"$(nproc)" --target vellquist ase-test-server
cmake --install "$build" --prefix "$demo/program" >/dev/null

# A fresh demo database on every run.
rm -rf "$demo/ase-data"
mkdir -p "$demo/ase-data" "$demo/config"
server_out="$demo/ase-server.out"
"$build/tools/ase-test-server/ase-test-server" --port 0 --data "$demo/ase-data" \
  --login demo:demo --database demo --init "$root/tools/ase-test-server/sample-data.sql" \
  >"$server_out" 2>"$demo/ase-server.err" &
server_pid=$!
trap 'kill "$server_pid" 2>/dev/null || true; wait "$server_pid" 2>/dev/null || true' EXIT

port=""
for _ in $(seq 1 100); do
  port=$(sed -n 's/^listening on 127\.0\.0\.1:\([0-9]*\)$/\1/p' "$server_out")
  [ -n "$port" ] && break
  kill -0 "$server_pid" 2>/dev/null || { cat "$demo/ase-server.err" >&2; exit 1; }
  sleep 0.1
done
[ -n "$port" ] || { echo "ase-test-server did not start" >&2; exit 1; }
echo "ase-test-server listening on 127.0.0.1:$port (user demo, password demo, database demo)"

# The Access file: the one named, or a fresh copy of the sample database (the
# demo may write into it; the installed sample stays as the build made it).
if [ $# -ge 1 ]; then
  access_file=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
else
  access_file="$demo/sample.mdb"
  cp -f "$demo/program/Samples/sample.mdb" "$access_file"
  chmod u+w "$access_file"
fi

umask 077
cat >"$demo/config/Zelvora.conf" <<CONF
[Vellquist]
AccessMDBFile=$access_file
AccessPassword=
ASEServer=127.0.0.1
ASEPort=$port
ASEUser=demo
ASEPassword=demo
ASEDatabase=demo
CONF

echo "starting vellquist (settings in $demo/config, the user's sample copy in $demo/data)"
XDG_CONFIG_HOME="$demo/config" XDG_DATA_HOME="$demo/data" "$demo/program/vellquist"

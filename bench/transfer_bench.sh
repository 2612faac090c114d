#!/usr/bin/env bash
# Builds transfer_bench and the ASE test server in a Release build without
# sanitizers, starts the server on a free loopback port with a fresh data
# folder, and runs the benchmark on the 200,000-row benchmark table for 20,000
# and 50,000 rows, so that the memory figures of the two can be compared.
#
#   transfer_bench.sh [BUILD_DIR] [ROWS ...]
#
# BUILD_DIR defaults to build-release beside the sources; the Access files
# and the server's data are written to a temporary folder and removed
# afterwards. They go where mktemp puts them: TMPDIR=/dev/shm keeps the
# server's tables in memory, so that it answers faster than from disk.
# VQ_BENCH_BATCH_ROWS=1 makes the transfers hand their worker one row at a time.
set -euo pipefail
src=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$src/build-release}
shift || true
counts=("$@")
[ ${#counts[@]} -gt 0 ] || counts=(20000 50000)
shared=${VQ_SHARED_DIR:-$src/../shared}
source_file=$shared/fixtures/bench/bench200k_V2003.mdb
empty=$shared/fixtures/access/mdb-reader/test/data/V2003/empty.mdb
for f in "$source_file" "$empty"; do
  [ -r "$f" ] || { echo "transfer_bench: no file at $f" >&2; exit 1; }
done

if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S "$src" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVQ_SANITIZE=OFF \
    -DVQ_BUILD_GUI=OFF -DVQ_BUILD_TESTS=OFF >/dev/null
fi
grep -q '^VQ_SANITIZE:BOOL=OFF' "$build/CMakeCache.txt" ||
  { echo "transfer_bench: $build is a sanitizer build; use another folder" >&2; exit 1; }
cmake --build "$build" -j1 --target transfer_bench ase-test-server >/dev/null

work=$(mktemp -d)
server_pid=
cleanup() {
  [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null && wait "$server_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
mkdir "$work/ase"
"$build/tools/ase-test-server/ase-test-server" --port 0 --data "$work/ase" \
  --login bench:bench --database bench >"$work/server.out" 2>"$work/server.err" &
server_pid=$!
port=
for _ in $(seq 100); do
  port=$(sed -n 's/^listening on 127\.0\.0\.1:\([0-9]*\)$/\1/p' "$work/server.out")
  [ -n "$port" ] && break
  sleep 0.1
done
[ -n "$port" ] || { echo "transfer_bench: the test server did not start" >&2; cat "$work/server.err" >&2; exit 1; }

"$build/bench/transfer_bench" "$source_file" Bench "$empty" "$work" "127.0.0.1:$port" \
  bench bench bench "${counts[@]}"

#!/usr/bin/env bash
# Builds batch_bench and the ASE test server in a Release build without
# sanitizers, starts two test servers on free loopback ports, one answering at
# once and one holding every reply back 500 microseconds as a network round
# trip would, and prints the transfer to ASE's rows a second for ROWS rows of
# the benchmark table (50,000 unless given): one statement a round trip,
# batched, and a bare ct-lib loop.
#
#   batch_bench.sh [BUILD_DIR] [ROWS]
#
# BUILD_DIR defaults to build-release beside the sources. The rows come from
# the shared benchmark file when it is there, else from a table the benchmark
# makes with the same columns. The Access file and the servers' data go to a
# temporary folder (TMPDIR=/dev/shm keeps them in memory) and are removed
# afterwards. VQ_BENCH_ROUNDS sets the rounds per server (1 unless set).
set -euo pipefail
src=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$src/build-release}
rows=${2:-50000}
shared=${VQ_SHARED_DIR:-$src/../shared}
source_file=$shared/fixtures/bench/bench200k_V2003.mdb
[ -r "$source_file" ] || source_file=-

if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S "$src" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVQ_SANITIZE=OFF \
    -DVQ_BUILD_GUI=OFF -DVQ_BUILD_TESTS=OFF -DCMAKE_CXX_COMPILER_LAUNCHER=ccache \
    -DCMAKE_C_COMPILER_LAUNCHER=ccache >/dev/null
fi
grep -q '^VQ_SANITIZE:BOOL=OFF' "$build/CMakeCache.txt" ||
  { echo "batch_bench: $build is a sanitizer build; use another folder" >&2; exit 1; }
cmake --build "$build" -j2 --target batch_bench ase-test-server >/dev/null

work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null; done
  rm -rf "$work"
}
trap cleanup EXIT

# Starts a server holding replies back $1 microseconds; prints DELAY=HOST:PORT.
start_server() {
  local delay=$1 dir=$work/ase-$1 port=
  mkdir "$dir"
  "$build/tools/ase-test-server/ase-test-server" --port 0 --data "$dir" --login bench:bench \
    --database bench --reply-delay-us "$delay" >"$dir.out" 2>"$dir.err" &
  pids+=($!)
  for _ in $(seq 100); do
    port=$(sed -n 's/^listening on 127\.0\.0\.1:\([0-9]*\)$/\1/p' "$dir.out")
    [ -n "$port" ] && break
    sleep 0.1
  done
  [ -n "$port" ] || { echo "batch_bench: the test server did not start" >&2; cat "$dir.err" >&2; exit 1; }
  servers+=("$delay=127.0.0.1:$port")
}
servers=()
start_server 0
start_server 500

"$build/bench/batch_bench" "$source_file" "$work" "$rows" bench bench bench "${servers[@]}"

#!/usr/bin/env bash
# Builds write_bench in a Release build without sanitizers and runs it on the
# 200,000-row benchmark table, for 50,000 rows and for all of them, so the
# memory figures of the two can be compared.
#
#   write_bench.sh [BUILD_DIR] [ROWS ...]
#
# BUILD_DIR defaults to build-release beside the sources; the Access files
# are written to a temporary folder and removed afterwards.
set -euo pipefail
src=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$src/build-release}
shift || true
counts=("$@")
[ ${#counts[@]} -gt 0 ] || counts=(50000 200000)
shared=${VQ_SHARED_DIR:-$src/../shared}
source_file=$shared/fixtures/bench/bench200k_V2003.mdb
empty=$shared/fixtures/access/mdb-reader/test/data/V2003/empty.mdb
for f in "$source_file" "$empty"; do
  [ -r "$f" ] || { echo "write_bench: no file at $f" >&2; exit 1; }
done

if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S "$src" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVQ_SANITIZE=OFF \
    -DVQ_BUILD_GUI=OFF -DVQ_BUILD_TESTS=OFF >/dev/null
fi
grep -q '^VQ_SANITIZE:BOOL=OFF' "$build/CMakeCache.txt" ||
  { echo "write_bench: $build is a sanitizer build; use another folder" >&2; exit 1; }
cmake --build "$build" -j1 --target write_bench >/dev/null

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$build/bench/write_bench" "$source_file" Bench "$empty" "$work" "${counts[@]}"

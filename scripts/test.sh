#!/usr/bin/env bash
# Sets everything up and runs every test: installs what is missing, builds with
# AddressSanitizer and UndefinedBehaviorSanitizer, and runs the CTest suite.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup-deps.sh

build=${VQ_TEST_BUILD_DIR:-build-test}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVQ_SANITIZE=ON
cmake --build "$build" -j"$(nproc)"

# A bounded fuzz run of the Access engine: libFuzzer with AddressSanitizer, in
# a clang build of its own, from seeds made afresh (bare headers, and copies of
# a few small shared fixtures when they are there). About a minute.
if command -v clang++ >/dev/null 2>&1; then
  fuzz_build=${VQ_FUZZ_BUILD_DIR:-build-fuzz}
  cmake -S . -B "$fuzz_build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
    -DVQ_FUZZ=ON -DVQ_SANITIZE=ON -DVQ_BUILD_GUI=OFF -DVQ_BUILD_TESTS=OFF
  cmake --build "$fuzz_build" --target fuzz_open -j"$(nproc)"
  corpus=$(mktemp -d)
  trap 'rm -rf "$corpus"' EXIT
  python3 fuzz/make_seeds.py "$corpus" ../shared/fixtures/access
  "$fuzz_build/fuzz/fuzz_open" -max_total_time=60 -max_len=140000 -timeout=10 \
    -rss_limit_mb=2048 -print_final_stats=1 "$corpus"
else
  echo "clang++ not found: the fuzz run of the Access engine is skipped" >&2
fi

export QT_QPA_PLATFORM=offscreen
ctest --test-dir "$build" --output-on-failure -j"$(nproc)" --timeout 300


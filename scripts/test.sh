#!/usr/bin/env bash
# Sets everything up and runs every test: installs what is missing, builds with
# AddressSanitizer and UndefinedBehaviorSanitizer, and runs the CTest suite.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup-deps.sh

build=${VQ_TEST_BUILD_DIR:-build-test}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVQ_SANITIZE=ON
cmake --build "$build" -j"$(nproc)"
export QT_QPA_PLATFORM=offscreen
ctest --test-dir "$build" --output-on-failure -j"$(nproc)" --timeout 300

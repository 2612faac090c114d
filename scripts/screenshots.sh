#!/usr/bin/env bash
# Renders the connection window and the tables window into docs/screenshots/
# (form1.png, form2.png) on Qt's offscreen platform, with fake databases behind
# them, so the pictures match what the window tests check.
set -euo pipefail
cd "$(dirname "$0")/.."

build=${VQ_BUILD_DIR:-build-shots}
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release
fi
cmake --build "$build" -j2 --target ui_render_screenshots
QT_QPA_PLATFORM=offscreen "$build/tests/ui/ui_render_screenshots" docs/screenshots
echo "wrote docs/screenshots/form1.png and docs/screenshots/form2.png"

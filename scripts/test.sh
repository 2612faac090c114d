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
# a clang build of its own, from seeds made afresh (bare headers, copies of a
# few small shared fixtures when they are there, and one of them encrypted with
# each scheme by vellquist-sql). About a minute.
if command -v clang++ >/dev/null 2>&1; then
  fuzz_build=${VQ_FUZZ_BUILD_DIR:-build-fuzz}
  cmake -S . -B "$fuzz_build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
    -DVQ_FUZZ=ON -DVQ_SANITIZE=ON -DVQ_BUILD_GUI=OFF -DVQ_BUILD_TESTS=OFF
  cmake --build "$fuzz_build" --target fuzz_open fuzz_sql -j"$(nproc)"
  corpus=$(mktemp -d)
  trap 'rm -rf "$corpus"' EXIT
  python3 fuzz/make_seeds.py "$corpus" ../shared/fixtures/access "$build/tools/vellquist-sql/vellquist-sql"
  "$fuzz_build/fuzz/fuzz_open" -max_total_time=60 -max_len=140000 -timeout=10 \
    -rss_limit_mb=2048 -print_final_stats=1 "$corpus"
  # Then the SQL front end for about 20 s, from a few statements as the program writes them.
  sql_corpus=$(mktemp -d)
  trap 'rm -rf "$corpus" "$sql_corpus"' EXIT
  printf '%s' "CREATE TABLE \`T\`(\`id\` INT,\`name\` VARCHAR(10) NOT NULL,\`d\` DECIMAL(10,2));" >"$sql_corpus/create"
  printf '%s' "INSERT INTO \`T\` VALUES('1', 'it''s', NULL, -1.5e3, #2/29/2024 1:45:30 PM#, 0x0102, True);" >"$sql_corpus/insert"
  printf '%s' "SELECT a1.* INTO [n] FROM [o] AS a1;" >"$sql_corpus/select"
  "$fuzz_build/fuzz/fuzz_sql" -max_total_time=20 -max_len=4096 -timeout=10 \
    -rss_limit_mb=2048 -print_final_stats=1 "$sql_corpus"
else
  echo "clang++ not found: the fuzz run of the Access engine is skipped" >&2
fi

export QT_QPA_PLATFORM=offscreen
ctest --test-dir "$build" --output-on-failure -j"$(nproc)" --timeout 300


#!/usr/bin/env bash
# Sets everything up and runs every test: installs what is missing, builds
# everything once with clang, AddressSanitizer and UndefinedBehaviorSanitizer
# (the Access engine also with libFuzzer's coverage), runs the CTest suite,
# then fuzzes the engine's open path for a minute and its SQL front end for
# 20 s from that same build. Prints how long each phase took, and at the end
# the tests that skipped, each with its reason.
#
#   bash scripts/test.sh          # as root; a user with sudo rights runs the same
#
# VQ_TEST_BUILD_DIR (default build-check) moves the build folder; VQ_TEST_JOBS
# sets the parallel jobs (default: the number of processors). Without clang
# the tests are built with gcc and the fuzz run is left out.
set -euo pipefail
cd "$(dirname "$0")/.."

jobs=${VQ_TEST_JOBS:-$(nproc)}
build=${VQ_TEST_BUILD_DIR:-build-check}
started=$SECONDS
fuzz_corpus=$(mktemp -d)
sql_corpus=$(mktemp -d)
fuzz_logs=$(mktemp -d)
trap 'rm -rf "$fuzz_corpus" "$sql_corpus" "$fuzz_logs"' EXIT
phase_names=()
phase_times=()

# Runs "$@" as the phase called $1 and records its wall-clock seconds.
phase() {
  local name=$1
  shift
  local t0=$SECONDS
  echo "=== $name"
  "$@"
  local took=$((SECONDS - t0))
  phase_names+=("$name")
  phase_times+=("$took")
  echo "=== $name: ${took} s"
}

summary() {
  echo
  echo "Phase times (wall clock):"
  local i
  for i in "${!phase_names[@]}"; do
    printf '  %-34s %4d s\n' "${phase_names[$i]}" "${phase_times[$i]}"
  done
  printf '  %-34s %4d s\n' "total" $((SECONDS - started))
}

install_deps() { bash scripts/setup-deps.sh; }

launcher=()
if command -v ccache >/dev/null 2>&1; then
  launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi

# One build serves the tests and the fuzz targets: clang at -O1 with line
# tables only (what the sanitizers' reports need). It saves the second,
# fuzz-only build the test command used to make. The tests and the windows,
# which run little, are built at -O0 and the tests with GoogleTest's header
# precompiled: together that halves the build's processor time (683 s to
# 310 s on the 2-core machine) and leaves the suite's run time as it was, since
# the engine, client, transfer and test server the tests drive keep -O1. No
# benchmarks: nothing runs them here.
fuzzing=OFF
compiler=()
if command -v clang++ >/dev/null 2>&1; then
  fuzzing=ON
  compiler=(-DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++)
  flags="-O1 -gline-tables-only"
else
  echo "clang++ not found: the tests are built with gcc and the fuzz run is left out" >&2
  flags="-Og -g1"
fi
build_tests() {
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug "-DCMAKE_CXX_FLAGS_DEBUG=$flags" \
    "-DCMAKE_C_FLAGS_DEBUG=$flags" "${compiler[@]}" -DVQ_SANITIZE=ON -DVQ_FUZZ=$fuzzing \
    -DVQ_BUILD_BENCH=OFF -DVQ_LIGHT_CODE_FLAGS=-O0 -DVQ_TEST_PCH=ON "${launcher[@]}"
  cmake --build "$build" -j"$jobs"
}

tests_status=0
run_tests() {
  QT_QPA_PLATFORM=offscreen ctest --test-dir "$build" --output-on-failure -j"$jobs" \
    --timeout 300 || tests_status=$?
}

# The engine's open path for a minute, from seeds made afresh: bare headers,
# new files of each format (and copies of a few small shared fixtures when
# they are there), and one of them encrypted with each scheme. Beside it, the
# SQL front end for 20 s, from a few statements as the program writes them:
# on two or more cores each target has a core of its own, so the phase takes
# the minute, not 80 s.
run_fuzz() {
  python3 fuzz/make_seeds.py "$fuzz_corpus" ../shared/fixtures/access "$build/tools/vellquist-sql/vellquist-sql"
  printf '%s' "CREATE TABLE \`T\`(\`id\` INT,\`name\` VARCHAR(10) NOT NULL,\`d\` DECIMAL(10,2));" >"$sql_corpus/create"
  printf '%s' "INSERT INTO \`T\` VALUES('1', 'it''s', NULL, -1.5e3, #2/29/2024 1:45:30 PM#, 0x0102, True);" >"$sql_corpus/insert"
  printf '%s' "SELECT a1.* INTO [n] FROM [o] AS a1;" >"$sql_corpus/select"
  local open_status=0 sql_status=0
  "$build/fuzz/fuzz_open" -max_total_time=60 -max_len=140000 -timeout=10 \
    -rss_limit_mb=2048 -print_final_stats=1 "$fuzz_corpus" >"$fuzz_logs/open" 2>&1 &
  local open_pid=$!
  if [ "$jobs" -lt 2 ]; then wait "$open_pid" || open_status=$?; fi
  "$build/fuzz/fuzz_sql" -max_total_time=20 -max_len=4096 -timeout=10 \
    -rss_limit_mb=2048 -print_final_stats=1 "$sql_corpus" >"$fuzz_logs/sql" 2>&1 || sql_status=$?
  if [ "$jobs" -ge 2 ]; then wait "$open_pid" || open_status=$?; fi
  # A target that found a fault shows its whole output; one that did not, its figures.
  local name status
  for name in open sql; do
    status=$open_status
    [ "$name" = sql ] && status=$sql_status
    echo "--- fuzz_$name"
    if [ "$status" -ne 0 ]; then cat "$fuzz_logs/$name"; else grep -E '^(Done |stat::)' "$fuzz_logs/$name" || true; fi
  done
  if [ "$open_status" -ne 0 ] || [ "$sql_status" -ne 0 ]; then
    echo "the fuzz run found a fault (fuzz_open status $open_status, fuzz_sql status $sql_status)" >&2
    return 1
  fi
}

phase "install what is missing" install_deps
phase "build (ASan+UBSan, fuzz targets)" build_tests
phase "tests (ctest)" run_tests
if [ "$fuzzing" = ON ]; then
  phase "fuzz run (60 s + 20 s beside it)" run_fuzz
fi

echo
python3 scripts/list-skipped.py "$build"
summary
if [ "$tests_status" -ne 0 ]; then
  echo "some tests failed (ctest exit status $tests_status); see above" >&2
fi
exit "$tests_status"

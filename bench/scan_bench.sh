#!/usr/bin/env bash
# Full-table scan speed and peak memory of vellquist-sql against mdb-export,
# measured in one run on the same file and table, both writing to /dev/null.
#
#   scan_bench.sh VELLQUIST_SQL FILE.mdb TABLE
#
# Prints rows per second (by wall clock and by CPU time, since the machine may
# be shared) and peak resident memory of each, and the ratio of the two. Each
# tool runs VQ_BENCH_ROUNDS times (3 unless given) and its fastest run counts;
# the load average before the runs says how busy the machine was. The peak
# memory of opening the file and listing its tables is printed as well: a
# scan whose peak stays near it does not grow with the number of rows.
set -euo pipefail
tool=${1:?path of vellquist-sql}
file=${2:?Access file}
table=${3:-Bench}
[ -r "$file" ] || { echo "scan_bench: no benchmark file at $file" >&2; exit 1; }
command -v mdb-export >/dev/null || { echo "scan_bench: mdb-export is not installed" >&2; exit 1; }
[ -x /usr/bin/time ] || { echo "scan_bench: /usr/bin/time is needed" >&2; exit 1; }

provider=Microsoft.Jet.OLEDB.4.0
case "${file,,}" in *accdb) provider=Microsoft.ACE.OLEDB.12.0 ;; esac
connect="Provider=$provider;Data Source=$file;Jet OLEDB:Database Password="

rounds=${VQ_BENCH_ROUNDS:-3}

# Runs a command `rounds` times with stdout to /dev/null; sets wall, cpu
# (seconds) and rss (KB) of the fastest run by wall clock.
times=$(mktemp)
trap 'rm -f "$times"' EXIT
measure() {
  local r w u s m best=""
  for ((r = 0; r < rounds; ++r)); do
    /usr/bin/time -o "$times" -f "%e %U %S %M" "$@" >/dev/null 2>/dev/null
    read -r w u s m <"$times"
    if [ -z "$best" ] || awk -v a="$w" -v b="$best" 'BEGIN { exit !(a < b) }'; then
      best=$w wall=$w rss=$m
      cpu=$(awk -v u="$u" -v s="$s" 'BEGIN { printf "%.2f", u + s }')
    fi
  done
}

# The row count from the result header; the rest of the output is cut off.
rows=$(set +o pipefail; "$tool" --connect "$connect" --query "SELECT * FROM [$table]" |
       head -n 1 | sed -n 's/.*"count":\([0-9]*\)}.*/\1/p')
[ -n "$rows" ] || { echo "scan_bench: vellquist-sql could not read [$table]" >&2; exit 1; }

load=$(cut -d' ' -f1-3 /proc/loadavg 2>/dev/null || echo unknown)
measure "$tool" --connect "$connect" --tables
base_rss=$rss
measure "$tool" --connect "$connect" --query "SELECT * FROM [$table]"
v_wall=$wall v_cpu=$cpu v_rss=$rss
measure mdb-export "$file" "$table"
m_wall=$wall m_cpu=$cpu m_rss=$rss

rate() { awk -v n="$rows" -v t="$1" 'BEGIN { if (t <= 0) t = 0.01; printf "%.0f", n / t }'; }
printf 'table [%s] of %s: %s rows; fastest of %s runs each; load average before: %s\n' \
  "$table" "$(basename "$file")" "$rows" "$rounds" "$load"
printf '%-14s %10s %12s %12s %12s\n' "" "wall s" "rows/s" "rows/s(cpu)" "peak RSS MB"
printf '%-14s %10s %12s %12s %12.1f\n' vellquist-sql "$v_wall" "$(rate "$v_wall")" \
  "$(rate "$v_cpu")" "$(awk -v k="$v_rss" 'BEGIN { print k / 1024 }')"
printf '%-14s %10s %12s %12s %12.1f\n' mdb-export "$m_wall" "$(rate "$m_wall")" \
  "$(rate "$m_cpu")" "$(awk -v k="$m_rss" 'BEGIN { print k / 1024 }')"
printf 'speed-up: %.1fx by wall clock, %.1fx by CPU time\n' \
  "$(awk -v a="$m_wall" -v b="$v_wall" 'BEGIN { if (b <= 0) b = 0.01; print a / b }')" \
  "$(awk -v a="$m_cpu" -v b="$v_cpu" 'BEGIN { if (b <= 0) b = 0.01; print a / b }')"
printf 'vellquist-sql peak RSS: %.1f MB opening the file and listing tables, %.1f MB for the full scan\n' \
  "$(awk -v k="$base_rss" 'BEGIN { print k / 1024 }')" "$(awk -v k="$v_rss" 'BEGIN { print k / 1024 }')"

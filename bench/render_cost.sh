#!/usr/bin/env bash
# What `skyvane --render` costs the whole process for one sweep of 50,000, 1,000,000 and
# 2,550,000 values (rtl_power's layout: hops of 4,096 bins at 1 kHz, two decimals): the median
# CPU time (user + system) and peak memory of five runs each, the fixed cost (the small sweep)
# and what each further value costs (the difference of the two large ones). Where the build
# also holds bench_ingest, the bare read-and-parse floor is measured in the same run.
#   bench/render_cost.sh BUILD_DIR
set -euo pipefail
build=${1:?build folder}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
sizes=(50000 1000000 2550000)
for n in "${sizes[@]}"; do
  awk -v n="$n" 'BEGIN {
    srand(1)
    low = 24000000
    for (done = 0; done < n; done += 4096) {
      k = n - done < 4096 ? n - done : 4096
      printf "2026-12-08, 21:00:00, %.0f, %.0f, 1000.00, 1", low, low + k * 1000 # %d stops at 2^31 in mawk
      for (i = 0; i < k; i++) printf ", %.2f", -45 + 2 * (rand() + rand() + rand() - 1.5) * 2
      printf "\n"
      low += k * 1000
    }
  }' > "$work/sweep$n.csv"
done
declare -A cpu mem
for n in "${sizes[@]}"; do
  runs=()
  peaks=()
  for k in 1 2 3 4 5; do
    if ! /usr/bin/time -o "$work/time" -f "%U %S %M" env QT_QPA_PLATFORM=offscreen "$build/skyvane" \
      --render "$work/out.png" --plugins-dir "$work" "$work/sweep$n.csv" > "$work/json" 2> "$work/err"; then
      echo "the render of $n values failed:" >&2
      cat "$work/err" "$work/json" >&2
      exit 1
    fi
    # one sweep of exactly n values, or the figures mean nothing
    grep -q "\"sweeps\":1,\"values\":$n}" "$work/json" || { echo "not one sweep of $n values: $(cat "$work/json")" >&2; exit 1; }
    read -r user sys kb < "$work/time"
    runs+=("$(awk -v u="$user" -v s="$sys" 'BEGIN { printf "%.2f", u + s }')")
    peaks+=("$kb")
  done
  cpu[$n]=$(printf '%s\n' "${runs[@]}" | sort -n | sed -n 3p)
  mem[$n]=$(printf '%s\n' "${peaks[@]}" | sort -n | sed -n 3p)
  echo "$n values: ${cpu[$n]} s CPU, ${mem[$n]} KB peak (median of 5)"
done
a=1000000 b=2550000
echo "fixed cost (50,000 values): ${cpu[50000]} s CPU"
awk -v c1="${cpu[$a]}" -v c2="${cpu[$b]}" -v m1="${mem[$a]}" -v m2="${mem[$b]}" -v a="$a" -v b="$b" 'BEGIN {
  printf "per further value: %.0f ns CPU, %.1f bytes peak memory\n", (c2 - c1) * 1e9 / (b - a), (m2 - m1) * 1024 / (b - a)
}'
if [ -x "$build/bench_ingest" ]; then
  "$build/bench_ingest" --benchmark_filter=BM_BareReadAndParse 2>/dev/null | grep BM_ ||
    echo "bench_ingest did not run"
fi

#!/usr/bin/env bash
# Sweep cadence: sweeps a minute of the simulated sweep tool run back to back on its own, and of
# the same tool under Skyvane, each for SECONDS (default 60), interleaved, at 88-108 MHz and at
# 24-1766 MHz (both 10 kHz). The pace is taken between the first and the last sweep completed
# (start-up and the cut-off last run left out). Prints a table and Skyvane's share of the tool's
# own pace.
#   bench/cadence.sh [BUILD_DIR] [SECONDS]
set -u
build=$(cd "${1:-build}" && pwd)
seconds=${2:-60}
sim=$build/rtl_power_sim
skyvane=$build/skyvane
[ -x "$sim" ] && [ -x "$skyvane" ] || { echo "build $build first (skyvane, rtl_power_sim)"; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export SKYVANE_SIM_LOCK_DIR=$work QT_QPA_PLATFORM=offscreen

# Sweeps a minute from a file of completion times (one a line).
pace() {
  awk 'NR == 1 { first = $1 } { last = $1; n++ } END { print (n > 1 && last > first) ? (n - 1) * 60 / (last - first) : 0 }' "$1"
}

alone() { # range -> sweeps a minute
  local dir=$work/alone end=$((SECONDS + seconds))
  rm -rf "$dir" && mkdir -p "$dir"
  while [ $SECONDS -lt $end ]; do
    (cd "$dir" && "$sim" -f "$1" -g 12.5 -p 0 -d 0 -1 -i 0.5s -w hamming scan.csv >/dev/null 2>&1) &&
      date +%s.%N >>"$dir/runs"
    rm -f "$dir/scan.csv"
  done
  pace "$dir/runs"
}

under_skyvane() { # range -> sweeps a minute
  local dir=$work/sky low high step
  rm -rf "$dir" && mkdir -p "$dir"
  IFS=: read -r low high step <<<"$1"
  printf 'Dongle number=0\r\nFreq min Hz=%s\r\nFreq max Hz=%s\r\nFreq step=%s\r\nGain level=12.5\r\nPPM=0\r\n' \
    "${low%h}" "${high%h}" "$step" >"$dir/settings.ini"
  printf '#!/bin/sh\n"%s" "$@" && date +%%s.%%N >> "%s/runs"\n' "$sim" "$dir" >"$dir/tool.sh"
  chmod +x "$dir/tool.sh"
  "$skyvane" --plugins-dir "$dir" --sweep-tool "$dir/tool.sh" >/dev/null 2>&1 &
  local pid=$!
  sleep "$seconds"
  kill -TERM $pid
  wait $pid 2>/dev/null
  [ -f "$dir/runs" ] && pace "$dir/runs" || echo 0
}

printf '%-28s %6s %12s %12s %7s\n' range round "tool/min" "skyvane/min" share
for range in 88000000h:108000000h:10k 24000000h:1766000000h:10k; do
  for round in 1 2; do
    a=$(alone "$range")
    s=$(under_skyvane "$range")
    awk -v r="$range" -v k="$round" -v a="$a" -v s="$s" \
      'BEGIN { printf "%-28s %6d %12.1f %12.1f %7.3f\n", r, k, a, s, a ? s / a : 0 }'
  done
done
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg)"

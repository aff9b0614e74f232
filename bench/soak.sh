#!/usr/bin/env bash
# Soak: MINUTES (default 30) of 2 s sweeps (the simulated tool at 24-1766 MHz, 10 kHz) under
# Skyvane with the sweep log on, the machine loaded by two busy loops. Every sweep the tool
# completed must be in the log, in order (the very last may still be unread when the program is
# ended). Prints the counts and exits 1 on a lost or reordered sweep.
#   bench/soak.sh [BUILD_DIR] [MINUTES]
set -u
build=$(cd "${1:-build}" && pwd)
minutes=${2:-30}
sim=$build/rtl_power_sim
skyvane=$build/skyvane
[ -x "$sim" ] && [ -x "$skyvane" ] || { echo "build $build first (skyvane, rtl_power_sim)"; exit 1; }
dir=$(mktemp -d)
load=()
cleanup() {
  [ ${#load[@]} -gt 0 ] && kill "${load[@]}" 2>/dev/null
  rm -rf "$dir"
}
trap cleanup EXIT
export SKYVANE_SIM_LOCK_DIR=$dir QT_QPA_PLATFORM=offscreen
for _ in 1 2; do
  (while :; do :; done) &
  load+=($!)
done
printf 'Dongle number=0\r\nFreq min Hz=24000000\r\nFreq max Hz=1766000000\r\nFreq step=10k\r\nGain level=12.5\r\nPPM=0\r\nLog sweeps=1\r\n' \
  >"$dir/settings.ini"
# The tool, and a note of the first line of every sweep it completed.
printf '#!/bin/sh\n"%s" "$@" && head -n 1 scan.csv | cut -d, -f1-3 >> "%s/runs"\n' "$sim" "$dir" >"$dir/tool.sh"
chmod +x "$dir/tool.sh"
"$skyvane" --plugins-dir "$dir" --sweep-tool "$dir/tool.sh" >"$dir/skyvane.log" 2>&1 &
pid=$!
sleep $((minutes * 60))
kill -TERM $pid
wait $pid
status=$?
# The first line of every sweep in the log: the hop that starts at 24 MHz.
cat "$dir"/sweeps-*.csv 2>/dev/null | awk -F, '$3 + 0 == 24000000' | cut -d, -f1-3 >"$dir/logged"
runs=$(wc -l <"$dir/runs")
logged=$(wc -l <"$dir/logged")
missing=$(grep -vxFf "$dir/logged" "$dir/runs" | wc -l)
lastMissing=$(tail -n 1 "$dir/runs" | grep -vxFf "$dir/logged" | wc -l)
inOrder=$(diff <(grep -xFf "$dir/runs" "$dir/logged") <(grep -xFf "$dir/logged" "$dir/runs") >/dev/null && echo yes || echo no)
echo "minutes $minutes, runs completed $runs, sweeps logged $logged, missing $missing (last one: $lastMissing), in order: $inOrder, exit status $status"
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg)"
[ "$inOrder" = yes ] && [ $((missing - lastMissing)) -eq 0 ]

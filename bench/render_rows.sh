#!/usr/bin/env bash
# `skyvane --render --size 716xauto` of captures with many small sweeps (10 bins each): the whole
# process's wall time and peak memory for each count, so that growth with the sweep count shows.
#   bench/render_rows.sh BUILD_DIR [COUNT...]     (default counts: 1000 2000 10000 100000)
set -euo pipefail
build=${1:?build folder}
shift
counts=("$@")
[ ${#counts[@]} -gt 0 ] || counts=(1000 2000 10000 100000)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
for n in "${counts[@]}"; do
  awk -v n="$n" 'BEGIN {
    for (k = 0; k < n; k++) {
      printf "2026-12-07, %02d:%02d:%02d, 430000000, 432500000, 250000.00, 10", int(k / 3600) % 24, int(k / 60) % 60, k % 60
      for (i = 0; i < 10; i++) printf ", %.2f", -50 + ((i * 7 + k) % 13) * 0.5
      printf "\n"
    }
  }' > "$work/sweeps$n.csv"
  /usr/bin/time -f "$n sweeps: %e s wall, %U s user, %M KB peak" \
    xvfb-run -a "$build/skyvane" --render "$work/out$n.png" --size 716xauto "$work/sweeps$n.csv" > /dev/null
done

#!/usr/bin/env bash
# Builds the sweep-file fuzz target with clang's libFuzzer (plus ASan/UBSan) and runs it.
# Usage: fuzz/run.sh [libFuzzer options...]   e.g. fuzz/run.sh -max_total_time=600
# Crashes land in fuzz/crashes/; copy each into tests/scan/fuzz_regressions/ to keep it as a test.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=${SKYVANE_FUZZ_BUILD:-$root/build-fuzz}
mkdir -p "$out" "$root/fuzz/crashes"
cxx=${CXX_FUZZ:-clang++}
moc=$(pkg-config --variable=libexecdir Qt6Core 2>/dev/null)/moc
[ -x "$moc" ] || moc=/usr/lib/qt6/libexec/moc
"$moc" "$root/src/display/image_view.h" -o "$out/moc_image_view.cpp"
"$cxx" -std=c++20 -O1 -g -fsanitize=fuzzer,address,undefined -fPIC -I"$root/src" \
  "$root/fuzz/fuzz_sweep_file.cpp" "$root/src/scan/sweep_file.cpp" "$root/src/scan/sweep_ingest.cpp" "$root/src/scan/trace_average.cpp" "$root/src/platform/single_precision.cpp" \
  "$root/src/display/waterfall.cpp" "$root/src/display/colour_maps.cpp" \
  "$root/src/display/resample.cpp" "$root/src/display/image_view.cpp" "$out/moc_image_view.cpp" \
  $(pkg-config --cflags --libs Qt6Widgets) -o "$out/fuzz_sweep_file" \
  -Wno-unused-command-line-argument 2>&1 | grep -v "^$" || true
[ -x "$out/fuzz_sweep_file" ] || { echo "fuzz target did not build" >&2; exit 1; }
corpus="$out/corpus"
mkdir -p "$corpus"
cp -n "$root"/../shared/samples/rtl_power/*.csv "$corpus/" 2>/dev/null || true
cp -n "$root"/tests/scan/fuzz_regressions/* "$corpus/" 2>/dev/null || true
exec "$out/fuzz_sweep_file" -artifact_prefix="$root/fuzz/crashes/" -max_len=65536 "$corpus" "$@"

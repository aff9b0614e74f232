#!/usr/bin/env bash
# Sets everything up, builds and runs every test through ctest on the offscreen platform.
# SKYVANE_SANITIZE=1 ./test.sh builds into build-asan/ with AddressSanitizer and UBSan.
source "$(dirname "$0")/scripts/setup.sh"
cd "$SKYVANE_ROOT"
skyvane_install_packages test
dir=build
opts=(-DCMAKE_BUILD_TYPE=RelWithDebInfo)
if [ "${SKYVANE_SANITIZE:-0}" = 1 ]; then
  dir=build-asan
  opts=(-DCMAKE_BUILD_TYPE=Debug -DSKYVANE_SANITIZE=ON -DSKYVANE_BENCH=OFF)
  export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=0} UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1}
fi
skyvane_configure "$dir" "${opts[@]}"
skyvane_build "$dir"
export QT_QPA_PLATFORM=offscreen
cd "$dir"
ctest --output-on-failure --timeout 300 "$@"

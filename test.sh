#!/usr/bin/env bash
# Sets everything up, builds and runs every test through ctest on the offscreen platform.
# SKYVANE_SANITIZE=1 ./test.sh builds into build-asan/ with AddressSanitizer and UBSan;
# SKYVANE_SANITIZE=thread ./test.sh builds into build-tsan/ with ThreadSanitizer (arguments go to
# ctest, e.g. -R 'Recording|ScanCycle|SweepLog' for the threaded parts).
source "$(dirname "$0")/scripts/setup.sh"
cd "$SKYVANE_ROOT"
skyvane_install_packages test
dir=build
opts=(-DCMAKE_BUILD_TYPE=RelWithDebInfo)
if [ "${SKYVANE_SANITIZE:-0}" = 1 ]; then
  dir=build-asan
  opts=(-DCMAKE_BUILD_TYPE=Debug -DSKYVANE_SANITIZE=ON -DSKYVANE_BENCH=OFF)
  export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=0} UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1}
elif [ "${SKYVANE_SANITIZE:-0}" = thread ]; then
  dir=build-tsan
  opts=(-DCMAKE_BUILD_TYPE=Debug -DSKYVANE_SANITIZE_THREAD=ON -DSKYVANE_BENCH=OFF)
  # Qt's own libraries are not built for it: reports from inside them are theirs.
  export TSAN_OPTIONS=${TSAN_OPTIONS:-"halt_on_error=0 die_after_fork=0 second_deadlock_stack=1 suppressions=$SKYVANE_ROOT/tests/tsan.supp"}
fi
skyvane_configure "$dir" "${opts[@]}"
skyvane_build "$dir"
export QT_QPA_PLATFORM=offscreen
cd "$dir"
ctest --output-on-failure --timeout 300 "$@"

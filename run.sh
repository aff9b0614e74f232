#!/usr/bin/env bash
# Sets everything up, builds and starts Skyvane. Extra arguments go to the program.
source "$(dirname "$0")/scripts/setup.sh"
cd "$SKYVANE_ROOT"
skyvane_install_packages
skyvane_configure build -DCMAKE_BUILD_TYPE=RelWithDebInfo
skyvane_build build skyvane rtl_power_sim

args=("$@")
# --help and --version only print: no display, no sweep tool.
for a in "${args[@]}"; do
  case "$a" in --help|-h|--version) exec ./build/skyvane "${args[@]}" ;; esac
done
if [[ " ${args[*]-} " != *" --sweep-tool "* ]] && [ ! -x build/plugins/rtl_power ] && ! command -v rtl_power >/dev/null; then
  echo "No rtl_power found: using the simulated sweep tool (build/rtl_power_sim) instead of a receiver."
  args+=(--sweep-tool "$SKYVANE_ROOT/build/rtl_power_sim")
fi
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "No display found: starting on a virtual X display (xvfb-run)."
  exec xvfb-run -a ./build/skyvane "${args[@]}"
fi
exec ./build/skyvane "${args[@]}"

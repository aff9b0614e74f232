# Shared by run.sh and test.sh: install missing Debian packages, configure and build.
# Usage: source scripts/setup.sh; skyvane_install_packages; skyvane_configure BUILD_DIR [cmake options...];
#        skyvane_build BUILD_DIR [targets...]
set -euo pipefail

# What building and running needs.
SKYVANE_RUN_PACKAGES=(build-essential cmake pkg-config qt6-base-dev libgl-dev libavcodec-dev libavutil-dev
  libswscale-dev libxcb-shm0-dev fonts-liberation fonts-wine xvfb xauth)
# What the tests need on top.
SKYVANE_TEST_PACKAGES=(googletest libgtest-dev libbenchmark-dev ffmpeg poppler-utils)
# Extras some tests use when they are there (the Windows syntax check, the fuzzer, the window
# manager of the hot-key test under X); a machine
# without them skips those tests, never the set-up.
SKYVANE_OPTIONAL_PACKAGES=(g++-mingw-w64-x86-64-posix clang libclang-rt-14-dev openbox)

skyvane_missing() {
  local p
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || echo "$p"
  done
}

skyvane_apt() {
  local sudo=()
  if [ "$(id -u)" -ne 0 ]; then
    command -v sudo >/dev/null || { echo "Need root or sudo to install: $*" >&2; return 1; }
    sudo=(sudo)
  fi
  if [ -z "${SKYVANE_APT_UPDATED:-}" ]; then
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -qq || true
    SKYVANE_APT_UPDATED=1
  fi
  "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "$@"
}

# skyvane_install_packages [run|test]: installs what is missing for running (default) or testing.
skyvane_install_packages() {
  local wanted=("${SKYVANE_RUN_PACKAGES[@]}")
  [ "${1:-run}" = test ] && wanted+=("${SKYVANE_TEST_PACKAGES[@]}")
  local missing
  mapfile -t missing < <(skyvane_missing "${wanted[@]}")
  if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing missing packages: ${missing[*]}"
    skyvane_apt "${missing[@]}"
  fi
  [ "${1:-run}" = test ] || return 0
  local p
  for p in $(skyvane_missing "${SKYVANE_OPTIONAL_PACKAGES[@]}"); do
    skyvane_apt "$p" >/dev/null 2>&1 || echo "Optional package $p cannot be installed here: the tests that use it are skipped."
  done
}

skyvane_configure() {
  local dir=$1; shift
  cmake -S "$SKYVANE_ROOT" -B "$dir" "$@" >/dev/null
}

skyvane_build() {
  local dir=$1; shift
  local targets=()
  for t in "$@"; do targets+=(--target "$t"); done
  cmake --build "$dir" -j"$(nproc)" "${targets[@]}"
}

SKYVANE_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

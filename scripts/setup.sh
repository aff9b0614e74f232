# Shared by run.sh and test.sh: install missing Debian packages, configure and build.
# Usage: source scripts/setup.sh; skyvane_install_packages; skyvane_configure BUILD_DIR [cmake options...];
#        skyvane_build BUILD_DIR [targets...]
set -euo pipefail

SKYVANE_PACKAGES=(build-essential cmake pkg-config qt6-base-dev libgl-dev libavcodec-dev libavutil-dev
  libswscale-dev googletest libgtest-dev libbenchmark-dev fonts-liberation xvfb xauth ffmpeg poppler-utils
  g++-mingw-w64-x86-64-posix clang libclang-rt-14-dev)

skyvane_install_packages() {
  local missing=()
  for p in "${SKYVANE_PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing missing packages: ${missing[*]}"
  local sudo=()
  if [ "$(id -u)" -ne 0 ]; then
    command -v sudo >/dev/null || { echo "Need root or sudo to install: ${missing[*]}" >&2; return 1; }
    sudo=(sudo)
  fi
  "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -qq
  "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
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

#!/usr/bin/env bash
# Installs every Debian package that building, running and testing Corvane needs; with
# --demo only what building and running the demo needs (no test tools, no Windows toolchain).
# Idempotent and non-interactive; run as root (or with sudo available) on Debian 12.
set -euo pipefail

# Building and running: the compiler, Qt for the window, hamlib's rigctl as a client.
packages=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-base-dev-tools libgl-dev
  libhamlib-utils
)
if [ "${1:-}" != "--demo" ]; then
  packages+=(
    libgtest-dev libgmock-dev
    clang libclang-rt-14-dev
    socat xvfb xauth libx11-dev
    procps
    file man-db
    googletest g++-mingw-w64-x86-64-posix wine wine64
    netpbm  # scripts/windows-shots.sh turns the pictures into PNG
  )
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"

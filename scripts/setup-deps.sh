#!/usr/bin/env bash
# Installs the Debian packages Vellquist needs to build, test and run.
# Runs as root or through sudo; installs only what is missing.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config clang libclang-rt-dev
  libgtest-dev googletest
  qt6-base-dev libgl-dev
  freetds-dev freetds-bin
  libsqlite3-dev
  mdbtools
  xvfb xauth fonts-liberation
  python3
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update
$SUDO apt-get install -y --no-install-recommends "${missing[@]}"

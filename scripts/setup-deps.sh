#!/usr/bin/env bash
# Installs the Debian packages Vellquist needs to build, test and run, and the
# mdb-reader library the file checks use (into tests/jet/readers/node_modules).
# Runs as root, or as a user with sudo rights (then it asks sudo for the
# installs); installs only what is missing.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

packages=(
  build-essential cmake ninja-build pkg-config clang libclang-rt-dev ccache
  libgtest-dev googletest
  qt6-base-dev libgl-dev
  freetds-dev freetds-bin
  libsqlite3-dev
  libssl-dev libexpat1-dev
  mdbtools
  xvfb xauth fonts-liberation
  python3
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
# node and npm go by command, not by package: a node installed from another
# source brings its own npm, and its package conflicts with Debian's npm.
if ! command -v node >/dev/null 2>&1 || ! command -v npm >/dev/null 2>&1; then
  missing+=(nodejs npm)
fi
if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""
  if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update
  $SUDO apt-get install -y --no-install-recommends "${missing[@]}"
fi

# mdb-reader, at the version package-lock.json pins, unless it is there already.
# Without the registry the checks that use it skip, so this never fails the setup.
readers="$root/tests/jet/readers"
wanted=$(node -p "require('$readers/package.json').dependencies['mdb-reader']")
have=$(node -p "try { require('$readers/node_modules/mdb-reader/package.json').version } catch { '' }")
if [ "$have" != "$wanted" ]; then
  if ! timeout 600 npm ci --prefix "$readers" --no-audit --no-fund --fetch-retries=1 \
      --fetch-timeout=60000 >"$readers/npm-install.log" 2>&1; then
    echo "setup-deps: mdb-reader $wanted could not be installed (see $readers/npm-install.log);" \
         "the checks that read files with it will be skipped" >&2
  fi
fi

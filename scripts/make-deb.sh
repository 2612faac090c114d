#!/usr/bin/env bash
# Builds the Debian packages in build-deb/: vellquist_<version>_amd64.deb (the
# program, vellquist-sql, vellquist-transfer, their manual pages, the desktop
# entry, the icon and the sample database) and
# vellquist-ase-test-server_<version>_amd64.deb (the demo and test server).
# Then checks them (scripts/check-deb.sh) and runs lintian on them when it is
# installed.
#
#   bash scripts/make-deb.sh        # as root; a user with sudo rights runs the same
#
# VQ_DEB_BUILD_DIR (default build-deb) moves the build folder.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup-deps.sh
build=${VQ_DEB_BUILD_DIR:-build-deb}
launcher=()
if command -v ccache >/dev/null 2>&1; then
  launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
  -DVQ_SYSTEM_INSTALL=ON -DVQ_BUILD_TESTS=OFF -DVQ_BUILD_BENCH=OFF "${launcher[@]}"
cmake --build "$build" -j"$(nproc)"
rm -f "$build"/*.deb
(cd "$build" && cpack -G DEB)

bash scripts/check-deb.sh "$build"/vellquist_*.deb "$build"/vellquist-ase-test-server_*.deb
# The install a user makes, into a clean Debian 12 root, where this machine allows
# a chroot (root); VQ_DEB_CHROOT=0 leaves it out.
if [ "${VQ_DEB_CHROOT:-1}" != 0 ] && [ "$(id -u)" -eq 0 ]; then
  bash scripts/check-deb-chroot.sh "$build"/vellquist_*.deb "$build"/vellquist-ase-test-server_*.deb
else
  echo "the install into a clean Debian 12 root (scripts/check-deb-chroot.sh) needs root and was not run"
fi
if command -v lintian >/dev/null 2>&1; then
  echo "lintian:"
  lintian --info "$build"/*.deb || true
else
  echo "lintian is not installed (apt-get install lintian) and was not run"
fi

#!/usr/bin/env bash
# Installs the two Debian packages into a clean Debian 12 root, as a user's
# `apt-get install ./vellquist_*.deb` would on a machine that has nothing
# else: apt takes the declared dependencies from Debian's archive, so a
# dependency the package forgot to declare shows here as a tool that cannot
# start. Then the tools start inside that root and the sample opens.
#
#   bash scripts/check-deb-chroot.sh VELLQUIST.deb ASE-TEST-SERVER.deb
#
# Needs root, debootstrap (installed if missing) and Debian's archive. The
# bare root is made once (about a minute) and kept in VQ_CHROOT_CACHE
# (default build-deb/chroot-base); each run installs into a fresh copy of it.
set -euo pipefail
if [ $# -ne 2 ]; then
  echo "usage: $0 VELLQUIST.deb ASE-TEST-SERVER.deb" >&2
  exit 2
fi
if [ "$(id -u)" -ne 0 ]; then
  echo "check-deb-chroot: a chroot needs root; run it as root (or with sudo)" >&2
  exit 2
fi
main_deb=$(realpath "$1")
server_deb=$(realpath "$2")
cd "$(dirname "$0")/.."
base=${VQ_CHROOT_CACHE:-build-deb/chroot-base}
mirror=${VQ_DEBIAN_MIRROR:-http://deb.debian.org/debian}

if ! command -v debootstrap >/dev/null; then
  apt-get install -y --no-install-recommends debootstrap >/dev/null
fi
if [ ! -x "$base/usr/bin/apt-get" ]; then
  echo "making a bare Debian 12 root in $base (once)"
  rm -rf "$base"
  debootstrap --variant=minbase bookworm "$base" "$mirror" >"$base.log" 2>&1 ||
    {
      tail -20 "$base.log" >&2
      echo "check-deb-chroot: debootstrap could not make a Debian 12 root" >&2
      exit 1
    }
fi

work=$(mktemp -d)
root=$work/root
cleanup() {
  for m in dev/pts dev proc; do
    mountpoint -q "$root/$m" 2>/dev/null && umount "$root/$m"
  done
  rm -rf "$work"
}
trap cleanup EXIT
cp -a "$base" "$root"
mount --bind /dev "$root/dev"
mount -t proc proc "$root/proc"
cp /etc/resolv.conf "$root/etc/resolv.conf"
cp "$main_deb" "$server_deb" "$root/tmp/"

failures=0
fail() {
  echo "check-deb-chroot: $*" >&2
  failures=$((failures + 1))
}
in_root() { chroot "$root" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LANG=C.UTF-8 "$@"; }

echo "installing into a clean Debian 12 root, dependencies from $mirror"
in_root apt-get update -qq >"$work/apt.log" 2>&1 || { cat "$work/apt.log" >&2; exit 1; }
if ! in_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
    "/tmp/$(basename "$main_deb")" "/tmp/$(basename "$server_deb")" >>"$work/apt.log" 2>&1; then
  tail -30 "$work/apt.log" >&2
  echo "check-deb-chroot: apt could not install the packages" >&2
  exit 1
fi
echo "installed: $(in_root dpkg-query -W -f '${Package} ${Version}, ' vellquist vellquist-ase-test-server)"
echo "packages in the root after the install: $(in_root dpkg-query -W -f '.\n' | wc -l)"

for tool in vellquist-sql vellquist-transfer ase-test-server; do
  for option in --help --version; do
    in_root "$tool" "$option" >"$work/out" 2>&1 || fail "$tool $option exits with status $? in the clean root"
  done
done
# The program itself, without a display.
in_root env QT_QPA_PLATFORM=offscreen vellquist --version >"$work/out" 2>&1 ||
  fail "vellquist --version exits with status $? in the clean root: $(head -3 "$work/out")"
# Every library each binary needs was brought by a declared dependency.
for binary in /usr/lib/vellquist/vellquist /usr/bin/vellquist-sql /usr/bin/vellquist-transfer /usr/bin/ase-test-server; do
  missing=$(in_root ldd "$binary" 2>/dev/null | grep "not found" || true)
  [ -z "$missing" ] || fail "$binary lacks libraries in the clean root: $missing"
done
for f in /usr/share/vellquist/sample.mdb /usr/share/applications/vellquist.desktop \
  /usr/share/man/man1/vellquist-sql.1.gz /usr/share/man/man1/ase-test-server.1.gz; do
  in_root dpkg -S "$f" >/dev/null 2>&1 || fail "no installed package owns $f"
done
in_root cp /usr/share/vellquist/sample.mdb /tmp/sample.mdb
tables=$(in_root vellquist-sql --connect \
  "PROVIDER=Microsoft.Jet.OLEDB.4.0;Data Source=/tmp/sample.mdb;JET OLEDB:Database Password=" --tables |
  awk -F'\t' '$2 == "TABLE" {print $1}' | sort | tr '\n' ' ')
[ "$tables" = "Keepers Lighthouses SupplyRuns " ] || fail "the installed sample lists '$tables'"

if [ "$failures" -ne 0 ]; then
  echo "check-deb-chroot: $failures problems" >&2
  exit 1
fi
echo "check-deb-chroot: the packages install into a clean Debian 12 root and their tools start there"

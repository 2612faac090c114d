#!/usr/bin/env bash
# Checks the two Debian packages: they unpack into an empty root (dpkg -x) and
# install into one (dpkg --root, with a database of its own), hold the files a
# user expects, and the tools start from the unpacked tree: --help and
# --version answer with status 0 and the sample database opens.
#
#   bash scripts/check-deb.sh vellquist_VERSION_amd64.deb vellquist-ase-test-server_VERSION_amd64.deb
set -euo pipefail
if [ $# -ne 2 ]; then
  echo "usage: $0 VELLQUIST.deb ASE-TEST-SERVER.deb" >&2
  exit 2
fi
main_deb=$(realpath "$1")
server_deb=$(realpath "$2")
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
failures=0
fail() {
  echo "check-deb: $*" >&2
  failures=$((failures + 1))
}

# The files each package must hold.
expect_files() {
  local deb=$1
  shift
  local listing
  listing=$(dpkg-deb -c "$deb" | awk '{print $6}' | sed 's|^\./|/|')
  for f in "$@"; do
    grep -qx -- "$f" <<<"$listing" || fail "$(basename "$deb") lacks $f"
  done
}
expect_files "$main_deb" /usr/bin/vellquist /usr/lib/vellquist/vellquist /usr/lib/vellquist/HAND-M.CUR \
  /usr/lib/vellquist/Samples/sample.mdb /usr/share/vellquist/sample.mdb \
  /usr/bin/vellquist-sql /usr/bin/vellquist-transfer \
  /usr/share/applications/vellquist.desktop /usr/share/icons/hicolor/64x64/apps/vellquist.png \
  /usr/share/man/man1/vellquist.1.gz /usr/share/man/man1/vellquist-sql.1.gz \
  /usr/share/man/man1/vellquist-transfer.1.gz \
  /usr/share/doc/vellquist/copyright /usr/share/doc/vellquist/changelog.gz
expect_files "$server_deb" /usr/bin/ase-test-server /usr/share/man/man1/ase-test-server.1.gz \
  /usr/share/vellquist-ase-test-server/sample-data.sql \
  /usr/share/doc/vellquist-ase-test-server/copyright
echo "declared dependencies:"
dpkg-deb -f "$main_deb" Package Version Architecture Depends | sed 's/^/  /'
dpkg-deb -f "$server_deb" Package Depends | sed 's/^/  /'

# Installed into an empty root with dpkg's own bookkeeping. Its dependencies
# are not in that root, so they are checked against this machine instead.
mkdir -p "$root/installed/var/lib/dpkg/updates" "$root/installed/var/lib/dpkg/info"
touch "$root/installed/var/lib/dpkg/status"
if ! dpkg --root="$root/installed" --force-depends --force-not-root --force-script-chrootless \
    -i "$main_deb" "$server_deb" >"$root/dpkg.log" 2>&1; then
  cat "$root/dpkg.log" >&2
  fail "dpkg --root could not install the packages"
fi
dpkg --root="$root/installed" -L vellquist >/dev/null 2>&1 || fail "dpkg does not know vellquist as installed"

# The unpacked tools run with the libraries of this machine.
dpkg -x "$main_deb" "$root/tree"
dpkg -x "$server_deb" "$root/tree"
for tool in vellquist-sql vellquist-transfer ase-test-server vellquist; do
  for option in --help --version; do
    if ! "$root/tree/usr/bin/$tool" "$option" >"$root/out" 2>&1; then
      fail "$tool $option exits with status $?"
    fi
  done
done
"$root/tree/usr/bin/vellquist-sql" --version | grep -q "^vellquist-sql [0-9]" || fail "vellquist-sql --version"
[ "$(readlink -f "$root/tree/usr/lib/vellquist/Samples/sample.mdb")" = "$root/tree/usr/share/vellquist/sample.mdb" ] ||
  fail "the program folder's sample does not lead to /usr/share/vellquist/sample.mdb"
cp "$root/tree/usr/share/vellquist/sample.mdb" "$root/sample.mdb"
tables=$("$root/tree/usr/bin/vellquist-sql" --connect \
  "PROVIDER=Microsoft.Jet.OLEDB.4.0;Data Source=$root/sample.mdb;JET OLEDB:Database Password=" --tables |
  awk -F'\t' '$2 == "TABLE" {print $1}' | sort | tr '\n' ' ')
[ "$tables" = "Keepers Lighthouses SupplyRuns " ] || fail "the packaged sample lists '$tables'"

if [ "$failures" -ne 0 ]; then
  echo "check-deb: $failures problems" >&2
  exit 1
fi
echo "check-deb: both packages hold what they should, install into an empty root, and their tools start"

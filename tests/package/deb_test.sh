#!/usr/bin/env bash
# deb_test.sh DIST SAMPLE: unpacks the console package (and the window's, when built) from
# DIST into a scratch root with "dpkg -x", checks that the console package does not depend on
# Qt, and repairs the sample guest with the unpacked program.
set -euo pipefail
dist=$1
sample=$2
here=$(dirname "$0")
fail() { echo "FAIL: $*" >&2; exit 1; }

shopt -s nullglob
console=("$dist"/ravlin_*.deb)
gui=("$dist"/ravlin-gui_*.deb)
[ ${#console[@]} -eq 1 ] || fail "expected one ravlin_*.deb in $dist"
depends=$(dpkg-deb -f "${console[0]}" Depends)
[ -n "$depends" ] || fail "the console package declares no dependencies"
! grep -qi qt <<<"$depends" || fail "the console package pulls in Qt: $depends"
grep -q libhivex <<<"$depends" || fail "the console package does not depend on libhivex: $depends"

root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
dpkg -x "${console[0]}" "$root"
[ -f "$root/usr/share/doc/ravlin/copyright" ] || fail "no copyright file"
[ -f "$root/usr/share/man/man1/ravlin.1.gz" ] || fail "no manual page"
if [ ${#gui[@]} -eq 1 ]; then
  grep -q "ravlin (=" <<<"$(dpkg-deb -f "${gui[0]}" Depends)" || fail "ravlin-gui does not depend on ravlin"
  dpkg -x "${gui[0]}" "$root"
  QT_QPA_PLATFORM=offscreen "$root/usr/bin/ravlin-gui" --version | grep -q '^Ravlin ' ||
    fail "ravlin-gui --version"
fi
bash "$here/repair_sample.sh" "$root/usr/bin/ravlin" "$sample"

#!/usr/bin/env bash
# installed_tree_test.sh BUILD_DIR SAMPLE: installs the build into a scratch root with
# "cmake --install", checks the layout (the private program folder, the link in bin/, nothing
# writable by others) and repairs the sample guest through the link.
set -euo pipefail
build=$1
sample=$2
here=$(dirname "$0")
fail() { echo "FAIL: $*" >&2; exit 1; }

root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
DESTDIR="$root" cmake --install "$build" --prefix /usr >/dev/null
folder="$root/usr/lib/ravlin"
for file in ravlin regedit Ravlin_Required_Files/tarvel001.reg Ravlin_Required_Files/tarvel009.reg \
  Ravlin_Required_Files/README-drivers.txt; do
  [ -e "$folder/$file" ] || fail "the installed tree lacks lib/ravlin/$file"
done
[ "$(readlink "$root/usr/bin/ravlin")" = ../lib/ravlin/ravlin ] ||
  fail "usr/bin/ravlin is not the relative link ../lib/ravlin/ravlin"
writable=$(find "$root" -perm /022 ! -type l)
[ -z "$writable" ] || fail "writable by group or others: $writable"
"$root/usr/bin/ravlin" --version | grep -qE '^Ravlin [0-9]+\.[0-9]+' || fail "--version"
bash "$here/repair_sample.sh" "$root/usr/bin/ravlin" "$sample"

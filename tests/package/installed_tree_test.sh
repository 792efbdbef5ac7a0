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

# The menu entry's launcher: through pkexec, and as the user where polkit does not authorise.
launcher="$folder/ravlin-gui-pkexec"
if [ -e "$launcher" ]; then
  mkdir "$root/fake"
  printf '#!/bin/sh\necho "$*" >> "%s/pkexec-args"\nexit "$PKEXEC_STATUS"\n' "$root" > "$root/fake/pkexec"
  chmod +x "$root/fake/pkexec"
  shown=$(PATH="$root/fake:$PATH" PKEXEC_STATUS=0 "$launcher" --version)
  [ "$(cat "$root/pkexec-args")" = "$folder/ravlin-gui --gui --version" ] ||
    fail "the launcher called pkexec with: $(cat "$root/pkexec-args")"
  [ -z "$shown" ] || fail "the launcher ran the window itself after pkexec"
  shown=$(PATH="$root/fake:$PATH" PKEXEC_STATUS=127 QT_QPA_PLATFORM=offscreen "$launcher" --version)
  grep -q '^Ravlin ' <<<"$shown" || fail "without polkit's consent the window did not start"
fi
bash "$here/repair_sample.sh" "$root/usr/bin/ravlin" "$sample"

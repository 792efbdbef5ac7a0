#!/usr/bin/env bash
# desktop_test.sh GENERATED_DIR ICON_DIR: the desktop entry, the AppStream metainfo and the
# polkit action validate, and the icons made from the SVG have the sizes their folders name.
set -euo pipefail
generated=$1
icons=$2
fail() { echo "FAIL: $*" >&2; exit 1; }

report=$(desktop-file-validate "$generated/ravlin.desktop" 2>&1) || fail "desktop-file-validate: $report"
[ -z "$report" ] || fail "desktop-file-validate: $report"
appstreamcli validate --no-net --explain "$generated/org.ravlin.Ravlin.metainfo.xml" ||
  fail "appstreamcli validate"
xmllint --noout "$generated/org.ravlin.Ravlin.policy" || fail "the polkit action is not XML"
grep -q "exec.path\">/.*/ravlin-gui<" "$generated/org.ravlin.Ravlin.policy" ||
  fail "the polkit action names no absolute program path"

count=0
for png in "$icons"/*x*/ravlin.png; do
  size=${png%/ravlin.png}
  size=${size##*/}
  # Width and height are the big-endian words at bytes 16 and 20 of a PNG.
  read -r width height < <(od -An -tu1 -j16 -N8 "$png" |
    awk '{print $1*16777216+$2*65536+$3*256+$4, $5*16777216+$6*65536+$7*256+$8}')
  [ "${width}x${height}" = "$size" ] || fail "$png is ${width}x${height}"
  count=$((count + 1))
done
[ "$count" -ge 5 ] || fail "only $count icon sizes made"
echo "desktop entry, metainfo, polkit action and $count icons are valid"

#!/usr/bin/env bash
# static_program_test.sh STATIC SAMPLE: ravlin-static needs no library but the C library, and
# alone in a scratch folder (no Ravlin_Required_Files, no importer beside it) it repairs the
# sample guest and removes its private program folder afterwards. With driver files in a
# Ravlin_Required_Files folder beside it, it copies those the guest lacks.
set -euo pipefail
static=$1
sample=$2
here=$(dirname "$0")
fail() { echo "FAIL: $*" >&2; exit 1; }

libraries=$(ldd "$static" 2>&1 || true)
if ! grep -q "not a dynamic executable" <<<"$libraries"; then
  others=$(grep -vE '^\s*(linux-vdso\.so|/lib64/ld-linux|libc\.so\.6)' <<<"$libraries" || true)
  [ -z "$others" ] || fail "ravlin-static needs more than the C library: $others"
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/stick" "$work/tmp"
cp "$static" "$work/stick/ravlin-static"
[ "$(ls -A "$work/stick")" = ravlin-static ] || fail "the scratch folder holds more than the program"
TMPDIR="$work/tmp" bash "$here/repair_sample.sh" "$work/stick/ravlin-static" "$sample"
[ -z "$(ls -A "$work/tmp")" ] || fail "the private program folder was left behind: $(ls "$work/tmp")"

required="$work/stick/Ravlin_Required_Files"
mkdir "$required"
for driver in atapi.sys pciidex.sys; do echo "the stick's $driver" > "$required/$driver"; done
TMPDIR="$work/tmp" bash "$here/repair_sample.sh" "$work/stick/ravlin-static" "$sample" \
  "$required" atapi.sys pciidex.sys
[ -z "$(ls -A "$work/tmp")" ] || fail "the private program folder was left behind: $(ls "$work/tmp")"
TMPDIR="$work/tmp" "$work/stick/ravlin-static" --version | grep -qE '^Ravlin [0-9]' || fail "--version"

#!/usr/bin/env bash
# repair_sample.sh PROGRAM SAMPLE [DRIVERS DRIVER...]: makes a sample guest with SAMPLE (the
# build's ravlin-sample) in a scratch folder and repairs it unattended with PROGRAM, with no
# library path and a registry editor on PATH that must never run. Checks the guest's hive
# afterwards with hivexregedit and the backup beside it. With DRIVERS, the guest lacks each
# DRIVER and must afterwards hold the copy from the folder DRIVERS. Exits non-zero with a
# reason on the first fault.
set -euo pipefail
program=$1
sample=$2
drivers=${3:-}
missing=("${@:4}")
fail() { echo "FAIL: $*" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
without=()
for driver in "${missing[@]}"; do without+=(--without "$driver"); done
"$sample" "$work/xp" "${without[@]}"
hive="$work/xp/WINDOWS/system32/config/system"
cp "$hive" "$work/untouched"

# A registry editor on PATH: the repair must use the importer beside the program.
mkdir "$work/decoy"
printf '#!/bin/sh\ntouch "%s/decoy-ran"\nexit 1\n' "$work" > "$work/decoy/regedit"
chmod +x "$work/decoy/regedit"

status=0
(cd "$work" && env -u DISPLAY -u WAYLAND_DISPLAY LD_LIBRARY_PATH= \
    PATH="$work/decoy:/usr/bin:/bin" RAVLIN_REGISTRY="$work/registry" \
    RAVLIN_DRIVES="C=$work/xp" "$program" --console --guest "$work/xp/WINDOWS" --yes \
    </dev/null >"$work/out" 2>&1) || status=$?
[ "$status" -eq 0 ] || { cat "$work/out" >&2; fail "$program exited with $status"; }
grep -q "Operation completed successfully!" "$work/out" || { cat "$work/out" >&2; fail "no success message"; }
[ ! -e "$work/decoy-ran" ] || fail "the regedit on PATH ran instead of the one beside the program"

exported=$(hivexregedit --export --unsafe-printable-strings "$hive" '\')
for set in ControlSet001 ControlSet002; do
  grep -qF "[\\$set\\Control\\CriticalDeviceDatabase\\pci#cc_0101]" <<<"$exported" ||
    fail "$set lacks the IDE controller entry"
  grep -qF "[\\$set\\Services\\PCIIde]" <<<"$exported" || fail "$set lacks the PCIIde service"
done
cmp -s "$hive.ravlin-backup" "$work/untouched" || fail "the backup is not the untouched hive"
for driver in "${missing[@]}"; do
  cmp -s "$work/xp/WINDOWS/system32/drivers/$driver" "$drivers/$driver" ||
    fail "$driver was not copied from $drivers"
done
echo "repaired the sample guest with $program"

#!/usr/bin/env bash
# Builds Ravlin, makes a sample guest Windows XP installation in a temporary folder, repairs
# it in the console front end and shows the registry keys that the repair changed.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)" --target ravlin regedit ravlin-sample

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
guest="$work/guest"
build/bin/ravlin-sample "$guest"
hive="$guest/WINDOWS/system32/config/system"
export_hive() {
  hivexregedit --export --unsafe-printable-strings --prefix 'HKEY_LOCAL_MACHINE\SYSTEM' "$hive" '\'
}
export_hive > "$work/before.reg"

# A registry store of its own, so that this run leaves nothing behind.
export RAVLIN_REGISTRY="$work/registry"
status=0
build/bin/ravlin --console --guest "$guest/WINDOWS" --yes || status=$?

export_hive > "$work/after.reg"
echo
echo "Registry keys and values the repair added or changed in the guest's SYSTEM hive:"
# Each key of the "after" export that is new (+[key]) or holds new or changed values
# ( [key] followed by +"value" lines).
awk 'NR == FNR { if (/^\[/) { key = $0; keys[key] = 1 } else if (NF) old[key SUBSEP $0] = 1; next }
     /^\[/ { key = $0; shown = 0; if (!(key in keys)) { print "+" key; shown = 1 }; next }
     NF && !((key SUBSEP $0) in old) { if (!shown) { print " " key; shown = 1 }; print "+" $0 }' \
  "$work/before.reg" "$work/after.reg"
exit "$status"

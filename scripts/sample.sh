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
hivexregedit --export "$hive" '\' > "$work/before.reg"

# A registry store of its own, so that this run leaves nothing behind.
export RAVLIN_REGISTRY="$work/registry"
status=0
build/bin/ravlin --console --guest "$guest/WINDOWS" --yes || status=$?

hivexregedit --export "$hive" '\' > "$work/after.reg"
echo
echo "Registry keys and values the repair added or changed in the guest's SYSTEM hive:"
diff -u "$work/before.reg" "$work/after.reg" | grep -E '^[+][^+]' | head -n 120 || true
exit "$status"

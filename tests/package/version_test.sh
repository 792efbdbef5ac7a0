#!/usr/bin/env bash
# version_test.sh PROGRAM SOURCE_DIR VERSION: "PROGRAM --version" shows the project version,
# and the revision of the checkout the program was built from when SOURCE_DIR is one.
set -euo pipefail
program=$1
sources=$2
version=$3
expected="Ravlin $version"
if revision=$(git -C "$sources" rev-parse --short=12 HEAD 2>/dev/null); then
  expected="$expected (git $revision)"
fi
shown=$("$program" --version)
if [ "$shown" != "$expected" ]; then
  echo "FAIL: --version shows \"$shown\", expected \"$expected\"" >&2
  exit 1
fi
echo "$shown"

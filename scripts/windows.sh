#!/usr/bin/env bash
# Builds ravlin.exe (the window) and ravlin.com (the same program for the command prompt) for
# 32-bit and 64-bit Windows with MinGW-w64, checks them against the oldest Windows each
# supports (XP SP2; XP x64 / Server 2003 SP2) and writes
# dist/ravlin-<version>-win32.zip and dist/ravlin-<version>-win64.zip.
#   bash scripts/windows.sh                 both programs, checked and packed
#   bash scripts/windows.sh --build-tests   also the 64-bit test programs (scripts/wine_tests.sh)
#   bash scripts/windows.sh --tests         also those, run under Wine, and the window's
#                                           layout on a real X server (its picture kept)
# The builds are build-win32/ and build-win64/.
set -euo pipefail
cd "$(dirname "$0")/.."

tests=OFF
run_tests=false
case "${1:-}" in
  "") ;;
  --build-tests) tests=ON ;;
  --tests) tests=ON run_tests=true ;;
  *)
    echo "usage: bash scripts/windows.sh [--build-tests | --tests]" >&2
    exit 2
    ;;
esac

bash scripts/setup.sh --windows
launcher=()
if command -v ccache >/dev/null; then launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache); fi

# build ARCH DIR TOOLCHAIN [cmake options]: configures, builds and checks one architecture.
build() {
  local arch=$1 dir=$2 toolchain=$3
  shift 3
  echo "== ravlin.exe and ravlin.com for $arch in $dir"
  cmake -S . -B "$dir" -DCMAKE_TOOLCHAIN_FILE="cmake/toolchains/$toolchain" \
    -DCMAKE_BUILD_TYPE=Release "${launcher[@]}" "$@" >/dev/null
  # The build checks both programs against Windows XP and lists their imports in
  # $dir/ravlin-imports.txt and ravlin-com-imports.txt; a refused program fails the build.
  cmake --build "$dir" -j"$(nproc)"
}
build x86 build-win32 mingw-w64-i686.cmake
build x64 build-win64 mingw-w64-x86_64.cmake -DRAVLIN_WINDOWS_TESTS="$tests"

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' build-win64/CMakeCache.txt)
[ -n "$version" ] || { echo "windows.sh: no project version in build-win64" >&2; exit 1; }
mkdir -p dist
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT

# pack NAME DIR STRIP README: the zip holds one folder with both programs, the required files
# and the architecture's README; the programs find Ravlin_Required_Files beside themselves.
pack() {
  local name=$1 dir=$2 strip=$3 readme=$4
  local folder="$stage/$name" zip="$PWD/dist/$name.zip"
  mkdir "$folder"
  "$strip" -o "$folder/ravlin.exe" "$dir/bin/ravlin.exe"
  "$strip" -o "$folder/ravlin.com" "$dir/bin/ravlin.com"
  cp -r data/Ravlin_Required_Files "$folder/"
  # Notepad on XP shows only CR LF line ends.
  sed 's/$/\r/' "packaging/windows/$readme" >"$folder/README.txt"
  sed 's/$/\r/' packaging/windows/README-drivers-windows.txt \
    >"$folder/Ravlin_Required_Files/README-drivers.txt"
  rm -f "$zip"
  (cd "$stage" && zip -q -r -X "$zip" "$name")
  local listed
  listed=$(python3 -c 'import sys, zipfile; print(*zipfile.ZipFile(sys.argv[1]).namelist(), sep="\n")' "$zip")
  for required in ravlin.exe ravlin.com README.txt Ravlin_Required_Files/README-drivers.txt \
      Ravlin_Required_Files/tarvel00{1..9}.reg; do
    grep -qx "$name/$required" <<<"$listed" ||
      { echo "windows.sh: $zip lacks $required" >&2; exit 1; }
  done
  echo "dist/$name.zip: ravlin.exe $(stat -c %s "$folder/ravlin.exe") bytes," \
    "ravlin.com $(stat -c %s "$folder/ravlin.com") bytes," \
    "zip $(stat -c %s "$zip") bytes"
}
pack "ravlin-$version-win32" build-win32 i686-w64-mingw32-strip README-win32.txt
pack "ravlin-$version-win64" build-win64 x86_64-w64-mingw32-strip README-win64.txt

if $run_tests; then
  bash scripts/wine_tests.sh build-win64
  bash scripts/wine_window_picture.sh build-win64
fi

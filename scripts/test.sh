#!/usr/bin/env bash
# Builds Ravlin and runs every test.
#   bash scripts/test.sh              the normal build, in build/
#   bash scripts/test.sh --sanitize   the same suite built with ASan and UBSan, in build-sanitize/
set -euo pipefail
cd "$(dirname "$0")/.."

build=build
options=(-DCMAKE_BUILD_TYPE=RelWithDebInfo)
case "${1:-}" in
  "") ;;
  --sanitize)
    build=build-sanitize
    options+=(-DRAVLIN_SANITIZE=ON)
    # Any report fails the test that caused it, in the test program or in a program it runs.
    export ASAN_OPTIONS="detect_leaks=1:abort_on_error=0:exitcode=99:${ASAN_OPTIONS:-}"
    export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1:exitcode=98:${UBSAN_OPTIONS:-}"
    ;;
  *)
    echo "usage: bash scripts/test.sh [--sanitize]" >&2
    exit 2
    ;;
esac
if command -v ccache >/dev/null; then options+=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache); fi

bash scripts/setup.sh
cmake -S . -B "$build" "${options[@]}"
cmake --build "$build" -j"$(nproc)"
cd "$build"
ctest --output-on-failure -j2 --timeout 600

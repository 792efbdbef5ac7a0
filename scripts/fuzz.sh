#!/usr/bin/env bash
# Runs one fuzz target for a while:  bash scripts/fuzz.sh TARGET SECONDS [libFuzzer options]
# TARGET is reg_parser, hive, hive_log, command_line, drive_path or record
# (tests/fuzz/fuzz_TARGET.cpp).
# The build is a clang build of its own in build-fuzz/; the seeds in tests/fuzz/corpus/TARGET
# stay as they are, and what the run learns goes to build-fuzz/corpus/TARGET. A crash leaves
# its input in build-fuzz/crashes/TARGET/ and fails the script.
set -euo pipefail
cd "$(dirname "$0")/.."

if [ $# -lt 2 ] || [ ! -f "tests/fuzz/fuzz_$1.cpp" ] || ! [[ $2 =~ ^[0-9]+$ ]]; then
  echo "usage: bash scripts/fuzz.sh TARGET SECONDS [libFuzzer options]" >&2
  echo "targets: $(cd tests/fuzz && ls fuzz_*.cpp | sed 's/^fuzz_//; s/\.cpp$//' | xargs)" >&2
  exit 2
fi
target=$1
seconds=$2
shift 2

bash scripts/setup.sh
build=build-fuzz
options=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++-14 -DRAVLIN_FUZZ=ON
         -DBUILD_TESTING=OFF)
if command -v ccache >/dev/null; then options+=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache); fi
cmake -S . -B "$build" "${options[@]}" >/dev/null
cmake --build "$build" -j"$(nproc)" --target "fuzz_$target" >/dev/null

corpus="$build/corpus/$target"
crashes="$build/crashes/$target"
log="$build/logs/$target.log"
mkdir -p "$corpus" "$crashes" "$(dirname "$log")"
# The fuzzer adds to the corpus folders it is given: it gets a copy of the seeds.
cp -n "tests/fuzz/corpus/$target"/* "$corpus"/ 2>/dev/null || true

export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1:${UBSAN_OPTIONS:-}"
status=0
"$build/fuzz/fuzz_$target" -max_total_time="$seconds" -timeout=30 -print_final_stats=1 \
  -artifact_prefix="$crashes/" "$@" "$corpus" >"$log" 2>&1 || status=$?

# The last progress line ("#RUNS ..."), as a single process and with -fork alike.
runs=$(grep -oE '^#[0-9]+' "$log" | tail -1 | tr -d '#')
echo "fuzz_$target: ${runs:-?} runs in $seconds s, corpus $(ls "$corpus" | wc -l) inputs," \
  "$(ls "$crashes" | wc -l) crash inputs kept, exit $status (log: $log)"
if [ "$status" -ne 0 ]; then
  grep -m1 -A30 -E 'ERROR: |runtime error|deadly signal' "$log" >&2 || tail -30 "$log" >&2
  ls "$crashes" >&2
fi
exit "$status"

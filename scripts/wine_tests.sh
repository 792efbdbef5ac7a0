#!/usr/bin/env bash
# Runs the Windows test programs of a 64-bit build under Wine:
#   bash scripts/wine_tests.sh [BUILD]        BUILD defaults to build-win64
# Every BUILD/tests/test_*.exe runs in a private Wine prefix (BUILD/wine-prefix) with Wine's
# null graphics driver, its output and GoogleTest's XML report in BUILD/wine-results/. The
# toolkit tests get the scratch drives T: and U: (folders in BUILD/wine-scratch), which they
# empty at will. The run fails when a program fails, crashes, hangs or reports no test. 32-bit programs cannot
# run here (the kernel refuses them): the 32-bit build gets the static checks of
# scripts/check_pe_imports.py only.
set -uo pipefail
cd "$(dirname "$0")/.." || exit 1

build=$(realpath -m "${1:-build-win64}")
wine=/usr/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver
per_program_seconds=${RAVLIN_WINE_TIMEOUT:-900}

if [ ! -x "$wine" ]; then
  bash scripts/setup.sh --wine || exit 1
fi
shopt -s nullglob
programs=("$build"/tests/test_*.exe)
if [ ${#programs[@]} -eq 0 ]; then
  echo "wine_tests: no test programs in $build/tests (configure with -DRAVLIN_WINDOWS_TESTS=ON)" >&2
  exit 1
fi

export WINEPREFIX="$build/wine-prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
export WINEARCH=win64
results="$build/wine-results"
rm -rf "$results"
mkdir -p "$results"

# Output always goes to files: wineserver inherits a pipe and can keep it open for ever.
started=$SECONDS
if ! "$wine" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f \
    >"$results/prefix.out" 2>"$results/prefix.err"; then
  echo "wine_tests: cannot set up the Wine prefix $WINEPREFIX" >&2
  cat "$results/prefix.err" >&2
  exit 1
fi
# A new prefix goes on setting itself up after the first command returns; a test that starts
# meanwhile finds it half made (windows that never show, drives not ready), so wait for that.
"$wineserver" -w
# The toolkit tests need drives of their own that they may empty: T: and U: lead to folders
# of the build, named to them in RAVLIN_TEST_DRIVES (Wine's subst drives do not reach files).
rm -rf "$build/wine-scratch"
for letter in t u; do
  mkdir -p "$build/wine-scratch/$letter"
  ln -sfn "$build/wine-scratch/$letter" "$WINEPREFIX/dosdevices/$letter:"
done
export RAVLIN_TEST_DRIVES=TU
# One server for every program; the prefix's first start (~15 s) is paid once.
"$wineserver" -p >/dev/null 2>&1
trap '"$wineserver" -k >/dev/null 2>&1' EXIT
echo "wine_tests: prefix ready in $((SECONDS - started)) s"

# Reads GoogleTest's XML report: prints "tests failures errors skipped" of the whole run.
report_counts() {
  python3 - "$1" <<'EOF'
import sys
import xml.etree.ElementTree as ET
root = ET.parse(sys.argv[1]).getroot()
print(*(int(root.get(name, "0")) for name in ("tests", "failures", "errors", "skipped")))
EOF
}

failed=()
for program in "${programs[@]}"; do
  name=$(basename "$program" .exe)
  xml="$results/$name.xml"
  begin=$SECONDS
  # From the programs' own folder, as ctest runs the Linux ones.
  (cd "$build/tests" &&
    timeout --kill-after=10 "$per_program_seconds" "$wine" "$program" --gtest_output="xml:Z:$xml" \
      </dev/null >"$results/$name.out" 2>"$results/$name.err")
  status=$?
  counts=""
  if [ -s "$xml" ]; then counts=$(report_counts "$xml" 2>>"$results/$name.err"); fi
  read -r tests failures errors skipped <<<"${counts:-0 0 0 0}"
  line="$name: exit $status, $tests tests, $failures failures, $errors errors, $skipped skipped"
  echo "$line in $((SECONDS - begin)) s"
  if [ "$status" -ne 0 ] || [ -z "$counts" ] || [ "$tests" -eq 0 ] || [ "$failures" -ne 0 ] ||
      [ "$errors" -ne 0 ]; then
    [ "$status" -eq 124 ] && echo "  $name did not finish in $per_program_seconds s"
    [ -z "$counts" ] && echo "  $name wrote no GoogleTest report"
    grep -E '^\[  FAILED  \]|Failure$|error:' "$results/$name.out" | head -20 | sed 's/^/  /'
    tail -5 "$results/$name.err" | sed 's/^/  /'
    failed+=("$name")
  fi
done

echo "wine_tests: ${#programs[@]} programs in $((SECONDS - started)) s (output: $results)"
if [ ${#failed[@]} -ne 0 ]; then
  echo "wine_tests: failed: ${failed[*]}" >&2
  exit 1
fi

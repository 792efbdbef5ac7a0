#!/usr/bin/env bash
# pe_imports_test.sh CHECK: the Windows XP check (scripts/check_pe_imports.py) passes small
# programs built with MinGW-w64 that import only what XP has, for both architectures, and
# refuses, naming the cause, a program whose manifest lacks a line that is asked for, a window
# program where a console program is asked for, a program
# that imports GetTickCount64 (Vista), one that imports
# from a DLL outside the allow-list, one that imports at load time from a DLL that Windows may
# take from the program's folder (even when the function itself is listed), one with the subsystem version that XP's loader rejects
# and one of the other architecture. --delete-refused removes only the refused program, and
# --listing names every import.
set -euo pipefail
check=$1
fail() { echo "FAIL: $*" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cat >"$work/xp.c" <<'EOF'
#include <windows.h>
int main(void) { return (int)(GetTickCount() & 1); }
EOF
cat >"$work/vista.c" <<'EOF'
#define _WIN32_WINNT 0x0600
#include <windows.h>
int main(void) { return (int)(GetTickCount64() & 1); }
EOF
cat >"$work/winsock.c" <<'EOF'
#include <winsock2.h>
int main(void) { return WSAGetLastError(); }
EOF

cat >"$work/version.c" <<'EOF'
#include <windows.h>
int main(void) { DWORD ignored; return (int)GetFileVersionInfoSizeW(L"x", &ignored); }
EOF
# An allow-list that knows the version function, so that only the DLL's place is refused.
mkdir "$work/allow"
cp "$(dirname "$check")/../packaging/windows/xp-imports/"*.txt "$work/allow/"
echo "VERSION.dll!GetFileVersionInfoSizeW 2000 test line" >"$work/allow/version.txt"

build() {  # build ARCH SOURCE EXE [linker options]
  local compiler=x86_64-w64-mingw32-gcc-win32 version=5.02
  if [ "$1" = x86 ]; then compiler=i686-w64-mingw32-gcc-win32 version=5.01; fi
  "$compiler" -O2 -o "$work/$3" "$work/$2" "-Wl,--subsystem,console:$version" "${@:4}"
}
# expect_refusal ARCH EXE TEXT [check options]: the check fails and its message holds TEXT.
expect_refusal() {
  local status=0
  python3 "$check" --arch "$1" "${@:4}" "$work/$2" >"$work/out" 2>"$work/err" || status=$?
  [ "$status" -eq 1 ] || fail "$2 ($1): exit $status, expected 1: $(cat "$work/out" "$work/err")"
  grep -qF -- "$3" "$work/err" || fail "$2 ($1): no '$3' in: $(cat "$work/err")"
}

for arch in x86 x64; do
  build "$arch" xp.c "xp-$arch.exe"
  build "$arch" vista.c "vista-$arch.exe"
  build "$arch" winsock.c "winsock-$arch.exe" -lws2_32

  python3 "$check" --arch "$arch" "$work/xp-$arch.exe" >"$work/out" 2>"$work/err" ||
    fail "xp-$arch.exe refused: $(cat "$work/err")"
  grep -q "xp-$arch.exe: .*imports from .*KERNEL32.dll.*: all on Windows XP" "$work/out" ||
    fail "xp-$arch.exe: unexpected report: $(cat "$work/out")"

  expect_refusal "$arch" "vista-$arch.exe" "KERNEL32.dll!GetTickCount64, which needs Windows Vista"
  expect_refusal "$arch" "winsock-$arch.exe" "imports WS2_32.dll!WSAGetLastError, which the allow-list"

  build "$arch" version.c "version-$arch.exe" -lversion
  status=0
  python3 "$check" --arch "$arch" --allow "$work/allow" "$work/version-$arch.exe" \
    >"$work/out" 2>"$work/err" || status=$?
  [ "$status" -eq 1 ] || fail "version-$arch.exe: exit $status, expected 1"
  grep -qF "imports VERSION.dll at load time" "$work/err" ||
    fail "version-$arch.exe: no load-time refusal in: $(cat "$work/err")"
  if grep -qF "VERSION.dll!GetFileVersionInfoSizeW" "$work/err"; then
    fail "version-$arch.exe: the listed function was refused too: $(cat "$work/err")"
  fi
done

# A prompt waits only for a console program: the subsystem is checked when named.
python3 "$check" --arch x86 --subsystem console "$work/xp-x86.exe" >"$work/out" 2>"$work/err" ||
  fail "console program refused as one: $(cat "$work/err")"
i686-w64-mingw32-gcc-win32 -O2 -o "$work/window.exe" "$work/xp.c" -Wl,--subsystem,windows:5.01
status=0
python3 "$check" --arch x86 --subsystem console "$work/window.exe" >"$work/out" 2>"$work/err" ||
  status=$?
[ "$status" -eq 1 ] && grep -qF "windows subsystem, expected console" "$work/err" ||
  fail "window program passed as a console program: $(cat "$work/out" "$work/err")"
# The manifest check reads the manifest the program carries: the project's passes, the same
# without its DPI line does not.
manifest=$(dirname "$check")/../packaging/windows/ravlin.exe.manifest
sed '/dpiAware/d' "$manifest" >"$work/blurred.manifest"
cp "$manifest" "$work/ravlin.manifest"
for name in ravlin blurred; do
  printf '#include <windows.h>\nCREATEPROCESS_MANIFEST_RESOURCE_ID RT_MANIFEST "%s.manifest"\n' \
    "$name" >"$work/$name.rc"
  (cd "$work" && i686-w64-mingw32-windres "$name.rc" -O coff -o "$name-rc.o")
  build x86 xp.c "$name.exe" "$work/$name-rc.o"
done
python3 "$check" --arch x86 --manifest "$work/ravlin.exe" >"$work/out" 2>"$work/err" ||
  fail "the project's manifest refused: $(cat "$work/err")"
expect_refusal x86 blurred.exe "the embedded manifest does not declare DPI awareness" --manifest
expect_refusal x86 xp-x86.exe "the embedded manifest does not declare administrator rights" \
  --manifest
python3 "$check" --arch x86 "$work/xp-x86.exe" >"$work/out" 2>"$work/err" ||
  fail "a program without a manifest refused where none is asked for: $(cat "$work/err")"

# XP's loader rejects the subsystem version 6.0 that newer toolchains default to.
build x86 xp.c newer-subsystem.exe -Wl,--major-subsystem-version,6,--minor-subsystem-version,0
expect_refusal x86 newer-subsystem.exe "subsystem version 6.00, expected 5.01"
# MinGW-w64's i686 default, 4.0, is also refused: only the version the toolchain file names.
i686-w64-mingw32-gcc-win32 -O2 -o "$work/default-subsystem.exe" "$work/xp.c"
expect_refusal x86 default-subsystem.exe "subsystem version 4.00, expected 5.01"
expect_refusal x86 xp-x64.exe "file format pei-x86-64, expected pei-i386"
expect_refusal x64 xp-x86.exe "file format pei-i386, expected pei-x86-64"

# --listing names every import of every program, refused or not; --delete-refused deletes
# the refused program and keeps the other.
python3 "$check" --arch x64 --delete-refused --listing "$work/imports.txt" \
  "$work/xp-x64.exe" "$work/vista-x64.exe" >/dev/null 2>&1 && fail "a refused program passed"
[ -f "$work/xp-x64.exe" ] || fail "--delete-refused deleted a program that passed"
[ ! -e "$work/vista-x64.exe" ] || fail "--delete-refused kept the refused program"
grep -q "vista-x64.exe	KERNEL32.dll!GetTickCount64	Vista" "$work/imports.txt" ||
  fail "the listing lacks GetTickCount64: $(cat "$work/imports.txt")"
grep -q "xp-x64.exe	KERNEL32.dll!GetTickCount	" "$work/imports.txt" ||
  fail "the listing lacks GetTickCount: $(cat "$work/imports.txt")"
echo "pe_imports_test: passed"

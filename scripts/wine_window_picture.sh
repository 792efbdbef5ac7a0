#!/usr/bin/env bash
# Shows ravlin.exe's window under Wine on a real X server (Xvfb), checks its layout there (every
# label's whole text fits, the design's proportions kept) and keeps a picture of it:
#   bash scripts/wine_window_picture.sh [BUILD]     BUILD defaults to build-win64
# The picture is BUILD/wine-results/window.png. The prefix (BUILD/wine-prefix-x11) uses Wine's
# X11 driver, unlike the one of scripts/wine_tests.sh, which draws nowhere.
set -uo pipefail
cd "$(dirname "$0")/.." || exit 1

build=$(realpath -m "${1:-build-win64}")
wine=/usr/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver
if [ ! -x "$wine" ] || ! command -v Xvfb >/dev/null; then
  bash scripts/setup.sh --wine || exit 1
fi
program="$build/tests/test_win32.exe"
[ -f "$program" ] || { echo "wine_window_picture: no $program (configure with -DRAVLIN_WINDOWS_TESTS=ON)" >&2; exit 1; }

export WINEPREFIX="$build/wine-prefix-x11" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
export WINEARCH=win64
results="$build/wine-results"
mkdir -p "$results"

# A display of our own: the first free number from 90 on.
display=90
while [ -e "/tmp/.X11-unix/X$display" ] || [ -e "/tmp/.X$display-lock" ]; do display=$((display + 1)); done
Xvfb ":$display" -screen 0 1024x768x24 -nolisten tcp >"$results/xvfb.log" 2>&1 &
xvfb=$!
trap '"$wineserver" -k >/dev/null 2>&1; kill "$xvfb" 2>/dev/null' EXIT
for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$display" ] && break; sleep 0.1; done
export DISPLAY=":$display"

"$wine" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d x11 /f >"$results/prefix-x11.out" 2>&1
"$wineserver" -w
rm -f "$results/window.bmp" "$results/window.png"
(cd "$build/tests" &&
  RAVLIN_WINDOW_PICTURE="Z:$results/window.bmp" timeout --kill-after=10 300 "$wine" "$program" \
    --gtest_filter='Win32WindowProgram.StartsIdle*' </dev/null >"$results/window.out" 2>&1)
status=$?
grep -E '^\[  (PASSED|FAILED) |Failure$|cut off' "$results/window.out" | head -20
if [ "$status" -ne 0 ] || ! grep -q '^\[  PASSED  \] 1 test' "$results/window.out"; then
  echo "wine_window_picture: the window's layout test failed under X (exit $status)" >&2
  exit 1
fi
# The BMP the test wrote, as a PNG (24-bit rows, bottom-up, padded to four bytes).
python3 - "$results/window.bmp" "$results/window.png" <<'PY' || exit 1
import struct, sys, zlib
data = open(sys.argv[1], "rb").read()
offset, = struct.unpack_from("<I", data, 10)
width, height, _, bits = struct.unpack_from("<iiHH", data, 18)
if bits != 24 or width <= 0 or height <= 0:
    sys.exit(f"wine_window_picture: unexpected picture {width}x{height}x{bits}")
stride = (width * 3 + 3) & ~3
rows = bytearray()
for y in range(height - 1, -1, -1):
    row = data[offset + y * stride: offset + y * stride + width * 3]
    rows.append(0)
    rows += bytes(b for i in range(0, len(row), 3) for b in (row[i + 2], row[i + 1], row[i]))
def chunk(kind, body):
    return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))
png = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0))
png += chunk(b"IDAT", zlib.compress(bytes(rows), 9)) + chunk(b"IEND", b"")
open(sys.argv[2], "wb").write(png)
print(f"wine_window_picture: {sys.argv[2]} ({width}x{height})")
PY

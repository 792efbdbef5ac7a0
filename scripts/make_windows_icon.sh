#!/usr/bin/env bash
# Makes the Windows program's icon, packaging/windows/ravlin.ico, from the desktop icon: the
# sizes Windows XP shows (16, 24, 32, 48 pixels) as 32-bit bitmaps, which XP's loader reads,
# and 256 pixels as PNG for later Windows. Run again whenever packaging/desktop/ravlin.svg
# changes; the build uses the committed file, so it needs neither tool.
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
svg="$root/packaging/desktop/ravlin.svg"
ico="$root/packaging/windows/ravlin.ico"
for tool in rsvg-convert icotool; do
  command -v "$tool" >/dev/null || { echo "make_windows_icon.sh: $tool is missing (bash scripts/setup.sh)" >&2; exit 1; }
done

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
bitmaps=()
for size in 16 24 32 48; do
  rsvg-convert -w "$size" -h "$size" -o "$work/$size.png" "$svg"
  bitmaps+=("$work/$size.png")
done
rsvg-convert -w 256 -h 256 -o "$work/256.png" "$svg"
icotool -c -o "$ico" "${bitmaps[@]}" -r "$work/256.png"
icotool -l "$ico"

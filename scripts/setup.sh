#!/usr/bin/env bash
# Installs the Debian packages that building, testing and running Ravlin need, when missing.
set -euo pipefail

packages=(
  g++ cmake make pkg-config              # the build
  libhivex-dev                           # reads and writes Windows hive files
  libgtest-dev                           # the tests
  qt6-base-dev fonts-dejavu-core         # the desktop window (and its text in offscreen tests)
  libhivex-bin libwin-hivex-perl         # hivexsh / hivexregedit: independent readers in tests
  chntpw                                 # reged, a peer in the import benchmark
  xz-utils                               # the compressed test hives
  attr                                   # setfattr/getfattr: extended attributes in tests
  time                                   # peak memory of the programs a benchmark runs
  dpkg-dev debhelper lintian             # the Debian packages (scripts/package.sh)
  librsvg2-bin                           # rsvg-convert: the PNG icons made from the SVG
  icoutils                               # icotool: the Windows icon (scripts/make_windows_icon.sh)
  man-db desktop-file-utils appstream libxml2-utils  # checks of the manual page and desktop files
  libmspack-dev gcab ntfs-3g             # driver cabinets (read; made in tests), NTFS in tests
  clang-14 libclang-rt-14-dev            # libFuzzer and its sanitizers: the fuzz targets
)

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$package")
  fi
done
if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -q
$sudo apt-get install -y -q "${missing[@]}"

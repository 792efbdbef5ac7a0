#!/usr/bin/env bash
# Installs the Debian packages that building, testing and running Ravlin need, when missing.
#   bash scripts/setup.sh             the Linux build, its tests and packages
#   bash scripts/setup.sh --windows   the Windows build (scripts/windows.sh)
#   bash scripts/setup.sh --wine      Wine for the Windows tests (64-bit only: wine32 cannot run here)
set -euo pipefail

install_options=()
case "${1:-}" in
  "")
    packages=(
      g++ cmake make pkg-config              # the build
      libhivex-dev                           # reads and writes Windows hive files
      libssl-dev                             # libcrypto: the SHA-256 digests of the record
      libgtest-dev                           # the tests
      qt6-base-dev fonts-dejavu-core         # the desktop window (and its text in offscreen tests)
      libhivex-bin libwin-hivex-perl         # hivexsh / hivexregedit: independent readers in tests
      chntpw                                 # reged, a peer in the import benchmark
      xz-utils                               # the compressed test hives
      attr                                   # setfattr/getfattr: extended attributes in tests
      time                                   # peak memory of the programs a benchmark runs
      dpkg-dev debhelper lintian             # the Debian packages (scripts/package.sh)
      librsvg2-bin                           # rsvg-convert: the PNG icons made from the SVG
      man-db desktop-file-utils appstream libxml2-utils  # checks of the manual page and desktop files
      libmspack-dev gcab ntfs-3g             # driver cabinets (read; made in tests), NTFS in tests
      clang-14 libclang-rt-14-dev            # libFuzzer and its sanitizers: the fuzz targets
      qemu-utils qemu-system-common fuse3    # disk images: qemu-img, qemu-storage-daemon, FUSE
      libblkid-dev nlohmann-json3-dev fdisk  # their partition tables, the engine's JSON; sfdisk
      dosfstools                             # mkfs.vfat: a FAT partition in the image tests
    )
    ;;
  --windows)
    packages=(
      cmake make python3 zip                 # the build, the import check, the zip files
      g++-mingw-w64-i686-win32               # 32-bit ravlin.exe (win32 threads: no libwinpthread,
      g++-mingw-w64-x86-64-win32             # whose GetTickCount64 XP lacks), and 64-bit
      googletest                             # GoogleTest's source, built for the Windows tests
      librsvg2-bin icoutils                  # the program's icon, made from the SVG
    )
    ;;
  --wine)
    packages=(wine64                         # runs the 64-bit Windows tests (scripts/wine_tests.sh)
              xvfb)                          # an X server for the window's picture under Wine
    install_options=(--no-install-recommends)  # wine64 recommends wine32, useless here
    ;;
  *)
    echo "usage: bash scripts/setup.sh [--windows | --wine]" >&2
    exit 2
    ;;
esac

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
$sudo apt-get install -y -q "${install_options[@]}" "${missing[@]}"

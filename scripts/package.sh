#!/usr/bin/env bash
# Builds Ravlin's Debian packages (ravlin: the console program and the importer; ravlin-gui:
# the window) and the static console program ravlin-static into dist/.
#   bash scripts/package.sh           build
#   bash scripts/package.sh --check   build, then run lintian (no errors allowed), check the
#                                     manual page and the desktop files, and repair a sample
#                                     guest with the unpacked package and with ravlin-static
set -euo pipefail
cd "$(dirname "$0")/.."

check=false
case "${1:-}" in
  --check) check=true ;;
  "") ;;
  *)
    echo "usage: bash scripts/package.sh [--check]" >&2
    exit 2
    ;;
esac

bash scripts/setup.sh

# One version: the project's; the changelog must name it.
version=$(sed -n 's/^project(Ravlin VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
packaged=$(dpkg-parsechangelog -l packaging/debian/changelog -S Version)
if [ "${packaged%-*}" != "$version" ]; then
  echo "package.sh: packaging/debian/changelog is at $packaged, the project at $version;" \
    "add a changelog entry" >&2
  exit 1
fi
revision=$(git rev-parse --short=12 HEAD 2>/dev/null || true)

# dpkg-buildpackage wants debian/ at the top of the sources and writes its packages beside
# them, so the packages are built from a copy. The copy's path stays the same from run to
# run, so that ccache finds the earlier compilations.
stage=build-package
source="$stage/ravlin-$version"
rm -rf "$stage"
mkdir -p "$source"
tar --exclude=./.git --exclude='./build*' --exclude=./dist --exclude=./.cache -cf - . |
  tar -xf - -C "$source"
cp -r packaging/debian "$source/debian"
(cd "$source" && RAVLIN_GIT_REVISION="$revision" DEB_BUILD_OPTIONS="nocheck parallel=$(nproc)" \
  dpkg-buildpackage -b -us -uc)

objects="$source/obj-$(dpkg-architecture -qDEB_HOST_GNU_TYPE)"
mkdir -p dist
rm -f dist/ravlin_*.deb dist/ravlin-gui_*.deb dist/ravlin-static
cp "$stage"/ravlin_"$version"-*.deb "$stage"/ravlin-gui_"$version"-*.deb dist/
strip -o dist/ravlin-static "$objects/bin/ravlin-static"
echo "Built:"
ls -l dist/

if $check; then
  sample="$objects/bin/ravlin-sample"
  echo "lintian:"
  lintian --fail-on error --info \
    "$stage"/ravlin_"$version"-*.changes
  bash tests/package/man_page_test.sh docs/ravlin.1 "$objects/bin/ravlin"
  bash tests/package/desktop_test.sh "$objects/generated" "$objects/icons"
  bash tests/package/deb_test.sh dist "$sample"
  bash tests/package/static_program_test.sh dist/ravlin-static "$sample"
  echo "package checks passed"
fi

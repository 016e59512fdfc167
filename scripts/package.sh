#!/usr/bin/env bash
# Builds release packages in a build directory of their own and prints their paths.
#   scripts/package.sh deb       the Debian packages: build-pkg/libbrem32-1_*.deb,
#                                libbrem32-dev_*.deb and brem32-tools_*.deb
#   scripts/package.sh windows   the Windows zip for host developers (build-pkg-win/brem32-*-win32.zip)
#                                and its debugging information (brem32-*-win32-debug.zip)
#   scripts/package.sh check     builds both and checks each one (tests/release/)
#   scripts/package.sh check-deb | check-windows   builds and checks one
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(( $(nproc) < 2 ? $(nproc) : 2 ))

deb() {
  scripts/install-deps.sh demo >&2
  # dpkg-buildpackage builds in the source tree and leaves the packages
  # beside it: it runs on a copy in build-pkg/src, so the packages land in
  # build-pkg/ and the tree stays as it is.
  rm -rf build-pkg
  mkdir -p build-pkg/src
  tar -cf - --exclude='./build*' --exclude=./.git . | tar -xf - -C build-pkg/src
  (cd build-pkg/src &&
     DEB_BUILD_OPTIONS="nocheck noddebs parallel=$jobs" dpkg-buildpackage -b -us -uc -d >&2)
  ls "$PWD"/build-pkg/*.deb
}

windows() {
  scripts/install-deps.sh all >&2
  # With debugging information, which the packaging splits off into the
  # second zip: the binaries in the release zip are stripped.
  cmake -S . -B build-pkg-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-i686.cmake \
        -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBREM_TESTS=OFF >&2
  cmake --build build-pkg-win -j"$jobs" >&2
  (cd build-pkg-win && rm -f brem32-*-win32*.zip && cpack -G ZIP >&2)
  ls "$PWD"/build-pkg-win/brem32-*-win32.zip | grep -v -- -debug.zip
}

case "${1:-}" in
  deb) deb ;;
  windows) windows ;;
  check)
    tests/release/check-deb.sh $(deb)
    tests/release/check-windows-zip.sh "$(windows)"
    ;;
  check-deb) tests/release/check-deb.sh $(deb) ;;
  check-windows) tests/release/check-windows-zip.sh "$(windows)" ;;
  *) echo "usage: scripts/package.sh deb|windows|check|check-deb|check-windows" >&2; exit 2 ;;
esac

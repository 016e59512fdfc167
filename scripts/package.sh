#!/usr/bin/env bash
# Builds release packages in build directories of their own and prints their paths.
#   scripts/package.sh deb       the Debian packages: build-pkg/libbrem32-1_*.deb,
#                                libbrem32-dev_*.deb and brem32-tools_*.deb
#   scripts/package.sh windows   the Windows zips for host developers: the 32-bit build
#                                (build-pkg-win32/brem32-*-win32.zip) and the 64-bit build
#                                (build-pkg-win64/brem32-*-win64.zip), each with its debugging
#                                information beside it (brem32-*-winNN-debug.zip)
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

# windows_zip i686|x86_64 win32|win64: one width's zip; prints its path.
windows_zip() {
  local arch=$1 system=$2
  # With debugging information, which the packaging splits off into the
  # second zip: the binaries in the release zip are stripped.
  cmake -S . -B "build-pkg-$system" -DCMAKE_TOOLCHAIN_FILE="cmake/mingw-w64-$arch.cmake" \
        -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBREM_TESTS=OFF >&2
  cmake --build "build-pkg-$system" -j"$jobs" >&2
  (cd "build-pkg-$system" && rm -f brem32-*-"$system"*.zip && cpack -G ZIP >&2)
  ls "$PWD/build-pkg-$system"/brem32-*-"$system".zip
}

windows() {
  scripts/install-deps.sh all >&2
  windows_zip i686 win32
  windows_zip x86_64 win64
}

# check_windows ZIP...: each zip's static checks, then its programs under Wine
# where the machine can run them (tests/win/wine.sh decides, and says why not).
check_windows() {
  local zip bits prefix
  prefix=$(mktemp -d "${TMPDIR:-/tmp}/brem-pkg-wine-XXXXXX")
  tests/win/wine.sh prefix "$prefix/prefix" >&2
  for zip in "$@"; do
    tests/release/check-windows-zip.sh check "$zip"
    case $zip in *-win64.zip) bits=64 ;; *) bits=32 ;; esac
    local rc=0
    WINEPREFIX="$prefix/prefix" tests/win/wine.sh run "$bits" tests/release/check-windows-zip.sh run "$zip" || rc=$?
    [ $rc -eq 0 ] || [ $rc -eq 77 ] || { tests/win/wine.sh stop "$prefix/prefix"; rm -rf "$prefix"; return $rc; }
  done
  tests/win/wine.sh stop "$prefix/prefix"
  rm -rf "$prefix"
}

case "${1:-}" in
  deb) deb ;;
  windows) windows ;;
  check)
    # shellcheck disable=SC2046
    tests/release/check-deb.sh $(deb)
    # shellcheck disable=SC2046
    check_windows $(windows)
    ;;
  # shellcheck disable=SC2046
  check-deb) tests/release/check-deb.sh $(deb) ;;
  # shellcheck disable=SC2046
  check-windows) check_windows $(windows) ;;
  *) echo "usage: scripts/package.sh deb|windows|check|check-deb|check-windows" >&2; exit 2 ;;
esac

#!/usr/bin/env bash
# Checks the Windows release zip as a host developer receives it: unpacked into
# an empty directory, it must hold everything listed in the README, and a C
# host built against its header and either import library alone (nothing of
# the source tree on the include path) must run under Wine.
#   tests/release/check-windows-zip.sh ZIP
#   tests/release/check-windows-zip.sh CROSS-BUILD-DIR   (runs cpack there first)
set -euo pipefail
if [ -d "$1" ]; then
  (cd "$1" && rm -f brem32-*-win32.zip && "${CPACK:-cpack}" -G ZIP >/dev/null)
  set -- "$(ls "$1"/brem32-*-win32.zip)"
fi
zip=$(realpath "$1")
here=$(cd "$(dirname "$0")" && pwd)
cc=${BREM_MINGW_CC:-i686-w64-mingw32-gcc}
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
work=$(mktemp -d "${TMPDIR:-/tmp}/brem-zip-XXXXXX")
trap 'rm -rf "$work"' EXIT

mkdir "$work/unpacked"
(cd "$work/unpacked" && cmake -E tar xf "$zip")
pkg=$(find "$work/unpacked" -mindepth 1 -maxdepth 1 -type d | head -n1)
[ -n "$pkg" ] || { echo "the zip holds no top directory" >&2; exit 1; }

missing=0
for f in brem32.dll brem32.def brem32.lib libbrem32.dll.a include/brem32.h brem.exe README.md docs/README.md; do
  [ -f "$pkg/$f" ] || { echo "missing from the zip: $f" >&2; missing=1; }
done
[ $missing -eq 0 ] || exit 1
echo "zip contents:"; (cd "$pkg" && find . -type f | sort | sed 's|^\./|  |')

. "$here/subsystems.sh"
host_defines "$pkg/include/brem32.h"

# The same host against each import library; the programs sit beside the DLL
# as a host's do.
for lib in libbrem32.dll.a brem32.lib; do
  exe="$pkg/host-${lib%%.*}.exe"
  # shellcheck disable=SC2086
  "$cc" -std=c99 -Wall -Wextra -Werror -O2 $defines -I"$pkg/include" -o "$exe" "$here/host.c" "$pkg/$lib"
  run="$work/run-${lib%%.*}"
  mkdir -p "$run/spool" "$run/store"
  echo "== host linked with $lib"
  (cd "$run" && wine "$exe")
done

echo "== brem.exe from the zip"
wine "$pkg/brem.exe" --help >/dev/null
if [ -f "$pkg/zorpack.exe" ]; then
  # A round trip through the shipped compressor.
  head -c 20000 "$here/host.c" > "$work/batch"
  cat "$here/host.c" "$here/host.c" >> "$work/batch"
  cp "$work/batch" "$work/batch.orig"
  (cd "$work" && wine "$pkg/zorpack.exe" -fk -b 16 batch && rm batch && wine "$pkg/zorpack.exe" -d -b 16 batch)
  cmp "$work/batch" "$work/batch.orig"
  echo "zorpack.exe round trip ok"
fi
echo "windows zip: ok"

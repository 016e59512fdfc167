#!/usr/bin/env bash
# Checks the Windows release zip as a host developer receives it: unpacked into
# an empty directory, it must hold everything listed in its README, its
# binaries must be stripped, versioned and fit for Windows XP (check-pe.sh),
# and the sample host.c it ships, built from the zip's directory against its
# header and either import library alone, must run under Wine. The debugging
# information zip must lie beside it.
#   tests/release/check-windows-zip.sh ZIP
#   tests/release/check-windows-zip.sh CROSS-BUILD-DIR   (runs cpack there first)
set -euo pipefail
if [ -d "$1" ]; then
  (cd "$1" && rm -f brem32-*-win32.zip brem32-*-win32-debug.zip && "${CPACK:-cpack}" -G ZIP >/dev/null)
  set -- "$(ls "$1"/brem32-*-win32.zip)"
fi
zip=$(realpath "$1")
debugzip=${zip%.zip}-debug.zip
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
for f in brem32.dll brem32.def brem32.lib libbrem32.dll.a include/brem32.h brem.exe zorpack.exe README.md \
         docs/README.md LICENSE THIRD-PARTY-NOTICES.txt host.c; do
  [ -f "$pkg/$f" ] || { echo "missing from the zip: $f" >&2; missing=1; }
done
[ $missing -eq 0 ] || exit 1
echo "zip contents:"; (cd "$pkg" && find . -type f | sort | sed 's|^\./|  |')

# The README speaks to host developers: every file of its table of contents
# is in the zip, each of its links resolves inside the zip, and it carries no
# build commands of the source tree or of Debian.
for named in $(sed -n 's/^| `\([^`]*\)`.*/\1/p' "$pkg/README.md"); do
  [ -e "$pkg/$named" ] || { echo "the zip's README lists $named, which the zip lacks" >&2; missing=1; }
done
for link in $(grep -o '](\([^)#]*\)' "$pkg/README.md" | sed 's/^](//'); do
  case $link in http*) continue ;; esac
  [ -e "$pkg/$link" ] || { echo "the zip's README links to $link, which the zip lacks" >&2; missing=1; }
done
if grep -nwE 'apt|apt-get|dpkg|scripts/[a-z-]*\.sh|cmake|pkg-config' "$pkg/README.md"; then
  echo "the zip's README carries build commands that are not a host developer's" >&2; missing=1
fi
[ $missing -eq 0 ] || exit 1

echo "== the binaries"
BREM_OBJDUMP=${BREM_OBJDUMP:-i686-w64-mingw32-objdump} bash "$here/check-pe.sh" "$pkg/brem32.dll" "$pkg/brem.exe" "$pkg/zorpack.exe"
[ -f "$debugzip" ] || { echo "no debugging information zip beside the zip ($debugzip)" >&2; exit 1; }
mkdir "$work/debug"
(cd "$work/debug" && cmake -E tar xf "$debugzip")
for f in brem32.dll brem.exe zorpack.exe; do
  dbg=$(find "$work/debug" -name "$f.debug" | head -n1)
  [ -n "$dbg" ] && i686-w64-mingw32-objdump -h "$dbg" | grep -q '\.debug_info' \
    || { echo "the debugging information zip has no $f.debug" >&2; exit 1; }
done
echo "debugging information: ok"

. "$here/subsystems.sh"
host_defines "$pkg/include/brem32.h"

# The zip's own host.c against each import library, built from the zip's
# directory as its README says; the programs sit beside the DLL as a host's do.
cmp "$pkg/host.c" "$here/host.c" >/dev/null || echo "note: the zip's host.c differs from tests/release/host.c"
for lib in libbrem32.dll.a brem32.lib; do
  exe="$pkg/host-${lib%%.*}.exe"
  # shellcheck disable=SC2086
  (cd "$pkg" && "$cc" -std=c99 -Wall -Wextra -Werror -O2 $defines -I include -o "$exe" host.c "$lib")
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

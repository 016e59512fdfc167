#!/usr/bin/env bash
# Checks a Windows release zip (32-bit or 64-bit, told by its name) as a host
# developer receives it, in two steps:
#   check: unpacked into an empty directory, it must hold everything listed in
#          its README, its binaries must be stripped, versioned and fit for
#          Windows XP (check-pe.sh), the debugging information zip must lie
#          beside it, and the sample host.c it ships must build from the zip's
#          directory against its header and either import library alone;
#   run:   those hosts, brem.exe and a zorpack.exe round trip run under Wine
#          ("$BREM_WINE", as tests/win/wine.sh run gives it).
# "check" leaves the unpacked zip and the hosts in DIR/zip-check for "run".
#   tests/release/check-windows-zip.sh check|run ZIP
#   tests/release/check-windows-zip.sh check|run CROSS-BUILD-DIR   (check runs cpack there first)
set -euo pipefail
mode=$1
shift
here=$(cd "$(dirname "$0")" && pwd)
export WINEDEBUG=${WINEDEBUG:--all} WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}

if [ -d "$1" ]; then
  builddir=$(realpath "$1")
  if [ "$mode" = check ]; then
    (cd "$builddir" && rm -f brem32-*-win32*.zip brem32-*-win64*.zip && "${CPACK:-cpack}" -G ZIP >/dev/null)
  fi
  set -- "$(ls "$builddir"/brem32-*-win32.zip "$builddir"/brem32-*-win64.zip 2>/dev/null | head -n1)"
fi
zip=$(realpath "$1")
debugzip=${zip%.zip}-debug.zip
case $zip in
  *-win64.zip) triplet=x86_64-w64-mingw32 bits=64 ;;
  *) triplet=i686-w64-mingw32 bits=32 ;;
esac
cc=${BREM_MINGW_CC:-$triplet-gcc}
work=$(dirname "$zip")/zip-check
pkg_of() { find "$work/unpacked" -mindepth 1 -maxdepth 1 -type d | head -n1; }

if [ "$mode" = run ]; then
  pkg=$(pkg_of)
  [ -n "$pkg" ] || { echo "nothing unpacked in $work: run the check step first" >&2; exit 1; }
  wine=${BREM_WINE:-wine}
  for lib in libbrem32.dll.a brem32.lib; do
    exe="$pkg/host-${lib%%.*}.exe"
    run="$work/run-${lib%%.*}"
    rm -rf "$run" && mkdir -p "$run/spool" "$run/store"
    echo "== host linked with $lib"
    (cd "$run" && "$wine" "$exe")
  done
  echo "== brem.exe from the zip"
  "$wine" "$pkg/brem.exe" --help >/dev/null
  # A round trip through the shipped compressor.
  rm -rf "$work/round" && mkdir "$work/round"
  head -c 20000 "$here/host.c" > "$work/round/batch"
  cat "$here/host.c" "$here/host.c" >> "$work/round/batch"
  cp "$work/round/batch" "$work/round/batch.orig"
  (cd "$work/round" && "$wine" "$pkg/zorpack.exe" -fk -b 16 batch && rm batch && "$wine" "$pkg/zorpack.exe" -d -b 16 batch)
  cmp "$work/round/batch" "$work/round/batch.orig"
  echo "zorpack.exe round trip ok"
  echo "windows zip ($bits-bit) run: ok"
  exit 0
fi
[ "$mode" = check ] || { echo "usage: check-windows-zip.sh check|run ZIP|CROSS-BUILD-DIR" >&2; exit 2; }

rm -rf "$work" && mkdir -p "$work/unpacked"
(cd "$work/unpacked" && cmake -E tar xf "$zip")
pkg=$(pkg_of)
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
# build commands of the source tree or of Debian. It says which build it is.
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
head -n1 "$pkg/README.md" | grep "$bits-bit" >/dev/null || { echo "the zip's README does not say it is the $bits-bit build" >&2; missing=1; }
[ $missing -eq 0 ] || exit 1

echo "== the binaries"
bash "$here/check-pe.sh" "$pkg/brem32.dll" "$pkg/brem.exe" "$pkg/zorpack.exe"
for f in brem32.dll brem.exe zorpack.exe; do
  file -b "$pkg/$f" | grep "$([ $bits = 64 ] && echo x86-64 || echo 'Intel 80386')" >/dev/null \
    || { echo "$f is not a $bits-bit binary: $(file -b "$pkg/$f")" >&2; exit 1; }
done
[ -f "$debugzip" ] || { echo "no debugging information zip beside the zip ($debugzip)" >&2; exit 1; }
mkdir "$work/debug"
(cd "$work/debug" && cmake -E tar xf "$debugzip")
for f in brem32.dll brem.exe zorpack.exe; do
  dbg=$(find "$work/debug" -name "$f.debug" | head -n1)
  [ -n "$dbg" ] && "$triplet-objdump" -h "$dbg" | grep '\.debug_info' >/dev/null \
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
  echo "host.c built against $lib alone"
done
echo "windows zip ($bits-bit) check: ok"

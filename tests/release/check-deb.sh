#!/usr/bin/env bash
# Checks the Debian package as an administrator installs it: unpacked with
# dpkg -x into a clean directory, it must hold the library, header, CMake
# package, pkg-config file, tools and man pages, and a C host built with the
# flags of pkg-config alone (pointed into the unpacked tree) must run; so must
# one built through find_package(brem32), and the packaged brem.
#   tests/release/check-deb.sh DEB
set -euo pipefail
deb=$(realpath "$1")
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/brem-deb-XXXXXX")
trap 'rm -rf "$work"' EXIT
root="$work/root"
dpkg -x "$deb" "$root"
echo "package contents:"; (cd "$root" && find . -type f -o -type l | sort | sed 's|^\./|  |')

pc=$(find "$root" -name brem32.pc | head -n1)
[ -n "$pc" ] || { echo "no brem32.pc in the package" >&2; exit 1; }
libdir=$(dirname "$(dirname "$pc")")
missing=0
for f in usr/include/brem32.h usr/bin/brem usr/share/man/man1/brem.1.gz usr/share/doc/brem32/copyright; do
  [ -e "$root/$f" ] || { echo "missing from the package: $f" >&2; missing=1; }
done
[ -e "$libdir/libbrem32.so.1" ] || { echo "missing from the package: libbrem32.so.1" >&2; missing=1; }
[ -e "$libdir/cmake/brem32/brem32Config.cmake" ] || { echo "missing: the CMake package" >&2; missing=1; }
if [ -e "$root/usr/bin/zorpack" ] && [ ! -e "$root/usr/share/man/man1/zorpack.1.gz" ]; then
  echo "missing from the package: zorpack's man page" >&2; missing=1
fi
[ $missing -eq 0 ] || exit 1
for page in "$root"/usr/share/man/man1/*.gz; do gzip -t "$page"; done

. "$here/subsystems.sh"
host_defines "$root/usr/include/brem32.h"

# pkg-config alone, its search path and sysroot inside the unpacked tree.
export PKG_CONFIG_LIBDIR="$(dirname "$pc")" PKG_CONFIG_SYSROOT_DIR="$root"
export PKG_CONFIG_ALLOW_SYSTEM_CFLAGS=1 PKG_CONFIG_ALLOW_SYSTEM_LIBS=1
flags=$(pkg-config --cflags --libs brem32)
echo "pkg-config: $flags"
# shellcheck disable=SC2086
cc -std=c99 -Wall -Wextra -Werror -O2 $defines -o "$work/host" "$here/host.c" $flags
mkdir -p "$work/run/spool" "$work/run/store"
echo "== host built with pkg-config"
(cd "$work/run" && LD_LIBRARY_PATH="$libdir" "$work/host")

echo "== host built with find_package(brem32)"
cmake -S "$here/consumer" -B "$work/consumer" -DCMAKE_PREFIX_PATH="$root/usr" \
      -DCMAKE_C_FLAGS="$defines" >/dev/null
cmake --build "$work/consumer" >/dev/null
mkdir -p "$work/run2/spool" "$work/run2/store"
(cd "$work/run2" && LD_LIBRARY_PATH="$libdir" "$work/consumer/host")

echo "== the packaged brem finds its library by itself"
"$root/usr/bin/brem" --help >/dev/null
if [ -x "$root/usr/bin/zorpack" ]; then
  cat "$here/host.c" "$here/host.c" > "$work/batch"; cp "$work/batch" "$work/batch.orig"
  "$root/usr/bin/zorpack" -fk -b 16 "$work/batch" && rm "$work/batch"
  "$root/usr/bin/zorpack" -d -b 16 "$work/batch"
  cmp "$work/batch" "$work/batch.orig"
  echo "zorpack round trip ok"
fi
# Debian's own checks: no error (warnings are reported, not failed).
if command -v lintian >/dev/null 2>&1; then
  echo "== lintian"
  lintian --fail-on error --allow-root "$deb"
else
  echo "lintian not installed: skipped"
fi
echo "debian package: ok"

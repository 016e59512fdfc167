#!/usr/bin/env bash
# Checks the Debian packages as an administrator receives them. Each is
# unpacked with dpkg -x into a clean directory and must hold what its part
# of the split holds and nothing of another's: libbrem32-1 the shared
# library (with a symbols file and the ldconfig trigger, no maintainer
# script), libbrem32-dev the header, the link, pkg-config and CMake files,
# brem32-tools the programs, man pages, reference, examples and the files
# of /etc (conffiles), the systemd units and bash completion. The binaries
# carry the hardening flags and no run path. A C host built with the flags
# of pkg-config alone (pointed into the unpacked tree) must run, so must one
# built through find_package(brem32), and the packaged brem and zorpack; the
# units pass systemd-analyze verify, and lintian --pedantic finds no error
# and no warning.
#   tests/release/check-deb.sh LIB-DEB DEV-DEB TOOLS-DEB (any order)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/brem-deb-XXXXXX")
trap 'rm -rf "$work"' EXIT
root="$work/root"
declare -A deb
for d in "$@"; do
  name=$(dpkg-deb -f "$d" Package)
  deb[$name]=$(realpath "$d")
done
status=0
fail() { echo "FAIL: $*" >&2; status=1; }
for p in libbrem32-1 libbrem32-dev brem32-tools; do
  [ -n "${deb[$p]:-}" ] || { echo "no $p package given" >&2; exit 1; }
done

# Each package's files, by pattern; every file must belong to its package.
declare -A owns=(
  [libbrem32-1]='usr/lib/[^/]*/libbrem32\.so\.1(\.[0-9.]+)?|usr/share/doc/libbrem32-1/.*'
  [libbrem32-dev]='usr/include/brem32\.h|usr/lib/[^/]*/libbrem32\.so|usr/lib/[^/]*/pkgconfig/brem32\.pc|usr/lib/[^/]*/cmake/brem32/.*|usr/share/doc/libbrem32-dev/.*'
  [brem32-tools]='usr/bin/(brem|zorpack)|usr/share/man/man1/(brem|zorpack)\.1\.gz|usr/share/doc/brem32-tools/.*|etc/(default|cron\.d|logrotate\.d)/brem32|lib/systemd/system/brem32\.(service|timer)|usr/share/bash-completion/completions/brem'
)
declare -A needs=(
  [libbrem32-1]='usr/share/doc/libbrem32-1/copyright'
  [libbrem32-dev]='usr/include/brem32.h usr/share/doc/libbrem32-dev/copyright'
  [brem32-tools]='usr/bin/brem usr/bin/zorpack usr/share/man/man1/brem.1.gz usr/share/man/man1/zorpack.1.gz
    usr/share/doc/brem32-tools/README.md usr/share/doc/brem32-tools/docs/README.md
    usr/share/doc/brem32-tools/examples/area.dat usr/share/doc/brem32-tools/examples/spool/0C0001.X
    usr/share/doc/brem32-tools/examples/uucp/rmail etc/default/brem32 etc/cron.d/brem32
    etc/logrotate.d/brem32 lib/systemd/system/brem32.service lib/systemd/system/brem32.timer
    usr/share/bash-completion/completions/brem'
)
for p in libbrem32-1 libbrem32-dev brem32-tools; do
  mkdir -p "$work/$p"
  dpkg -x "${deb[$p]}" "$work/$p"
  dpkg -x "${deb[$p]}" "$root"
  echo "$p:"; (cd "$work/$p" && find . -type f -o -type l | sort | sed 's|^\./|  |')
  while read -r f; do
    [[ $f =~ ^(${owns[$p]})$ ]] || fail "$p holds $f, which is not its part"
  done < <(cd "$work/$p" && find . \( -type f -o -type l \) | sed 's|^\./||')
  for f in ${needs[$p]}; do [ -e "$work/$p/$f" ] || fail "$p lacks $f"; done
done
# The README's links lead to files the package holds.
doc="$work/brem32-tools/usr/share/doc/brem32-tools"
while read -r target; do
  [ -e "$doc/${target%%#*}" ] || fail "README.md links to $target, which brem32-tools lacks"
done < <(grep -oE '\]\([^)]+\)' "$doc/README.md" | sed -E 's/^\]\(//; s/\)$//' | grep -vE '^[a-z]+:' || true)
lib=$(find "$work/libbrem32-1" -name 'libbrem32.so.1' | head -n1)
libdir=$(dirname "$lib")
[ -n "$lib" ] || { fail "libbrem32-1 has no libbrem32.so.1"; exit 1; }
[ -e "$(find "$work/libbrem32-dev" -name 'brem32Config.cmake' | head -n1)" ] || fail "libbrem32-dev has no CMake package"
[ -L "$(find "$work/libbrem32-dev" -name 'libbrem32.so' | head -n1)" ] || fail "libbrem32-dev has no libbrem32.so link"
for page in "$root"/usr/share/man/man1/*.gz; do gzip -t "$page"; done

echo "== control files"
control() { dpkg-deb --ctrl-tarfile "${deb[$1]}" | tar -xO "./$2" 2>/dev/null; }
control libbrem32-1 symbols | grep '^ IMPMAIL@Base' >/dev/null || fail "libbrem32-1 has no symbols file naming its exports"
control libbrem32-1 triggers | grep -x 'activate-noawait ldconfig' >/dev/null || fail "libbrem32-1 does not trigger ldconfig"
for script in preinst postinst prerm postrm; do
  if control libbrem32-1 "$script" >/dev/null; then fail "libbrem32-1 has a $script: ldconfig runs by trigger only"; fi
done
for f in /etc/default/brem32 /etc/cron.d/brem32 /etc/logrotate.d/brem32; do
  control brem32-tools conffiles | grep -x "$f" >/dev/null || fail "$f is not a conffile"
done
if grep -v '^#' "$root/etc/cron.d/brem32" | grep '[^[:space:]]' >/dev/null; then fail "/etc/cron.d/brem32 runs something: it ships commented out"; fi
if control brem32-tools postinst | grep 'deb-systemd-helper enable\b' >/dev/null &&
   ! control brem32-tools postinst | grep 'was-enabled' >/dev/null; then
  fail "brem32-tools enables its timer on installation"
fi

echo "== hardening"
for bin in "$root/usr/bin/brem" "$root/usr/bin/zorpack" "$lib"; do
  dyn=$(readelf -d "$bin")
  if grep -Eq 'RPATH|RUNPATH' <<<"$dyn"; then fail "$(basename "$bin") has a run path"; fi
  grep -q 'BIND_NOW\|FLAGS_1.*NOW' <<<"$dyn" || fail "$(basename "$bin") is not linked with -z now"
  readelf -lW "$bin" | grep GNU_RELRO >/dev/null || fail "$(basename "$bin") has no RELRO"
done
readelf -hW "$root/usr/bin/brem" | grep 'DYN' >/dev/null || fail "brem is not position-independent"
nm -D "$root/usr/bin/brem" | grep '_chk@' >/dev/null || fail "brem is not built with _FORTIFY_SOURCE"

. "$here/subsystems.sh"
host_defines "$root/usr/include/brem32.h"

# pkg-config alone, its search path and sysroot inside the unpacked tree.
pc=$(find "$root" -name brem32.pc | head -n1)
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

# Installed, the loader finds the library in its own directories; unpacked
# here, it is pointed there.
echo "== the packaged brem on the packaged examples"
export LD_LIBRARY_PATH="$libdir" PATH="$root/usr/bin:$PATH"
ex="$root/usr/share/doc/brem32-tools/examples"
mkdir -p "$work/ex/spool" "$work/ex/store"
cp "$ex"/spool/* "$work/ex/spool/"
cp "$ex/area.dat" "$work/ex/store/"
brem cycle "$work/ex/spool" "$work/ex/store" --neighbour hubsite --local-site mybox --quiet
[ "$(brem list-mail "$work/ex/store" --json | python3 -c 'import json,sys; print(len(json.load(sys.stdin)))')" = 4 ] ||
  fail "the examples' spool did not give four mails"
cat "$here/host.c" "$here/host.c" > "$work/batch"; cp "$work/batch" "$work/batch.orig"
zorpack -fk -b 16 "$work/batch" && rm "$work/batch"
zorpack -d -b 16 "$work/batch"
cmp "$work/batch" "$work/batch.orig"
zorpack --version
unset LD_LIBRARY_PATH

echo "== bash completion"
bash -c ". '$root/usr/share/bash-completion/completions/brem' && complete -p brem" || fail "the completion does not load"

echo "== systemd units"
if command -v systemd-analyze >/dev/null 2>&1 && [ -d /lib/systemd/system ]; then
  # Verified inside the unpacked tree, where ExecStart's program is; the
  # system's own units stand in for the targets they name.
  cp -rn /lib/systemd/system/. "$root/lib/systemd/system/" 2>/dev/null || true
  systemd-analyze verify --man=no --root="$root" /lib/systemd/system/brem32.service /lib/systemd/system/brem32.timer ||
    fail "systemd-analyze verify finds fault with the units"
else
  echo "skipped: systemd-analyze is not installed (Debian: apt install systemd)"
fi

echo "== logrotate"
if command -v logrotate >/dev/null 2>&1; then
  # The shipped rule, pointed at a scratch store: the rotated log keeps its
  # file (the library and a host may hold it open), emptied.
  mkdir -p "$work/lr/store"
  printf 'a line\r\n' > "$work/lr/store/mail.log"
  before=$(stat -c %i "$work/lr/store/mail.log")
  sed "s|/srv/brem32/store|$work/lr/store|g" "$root/etc/logrotate.d/brem32" > "$work/lr/brem32"
  logrotate -f -s "$work/lr/state" "$work/lr/brem32" || fail "logrotate refuses /etc/logrotate.d/brem32"
  [ "$(stat -c %i:%s "$work/lr/store/mail.log")" = "$before:0" ] && [ -s "$work/lr/store/mail.log.1" ] ||
    fail "logrotate moved mail.log away instead of copying and emptying it"
else
  echo "skipped: logrotate is not installed"
fi

# Debian's own checks: no error and no warning, the informational tags listed.
if command -v lintian >/dev/null 2>&1; then
  echo "== lintian --pedantic"
  lintian --pedantic -I -E --allow-root --fail-on error,warning "${deb[@]}" || fail "lintian reports errors or warnings"
else
  echo "lintian not installed: skipped"
fi
[ $status -eq 0 ] || exit 1
echo "debian packages: ok"

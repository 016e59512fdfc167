#!/usr/bin/env bash
# Where the library finds zorpack.exe: beside brem32.dll first, then where
# WinExec looks (the host program's directory, the current directory, the
# system directories, PATH). The host, the DLL (loaded by its full path) and
# the current directory are three different directories; a compressed news
# batch is imported with zorpack.exe in one place at a time.
#   tests/win/zorpack-search.sh WIN-BIN-DIR DEMO-DIR
set -euo pipefail
bin=$1 demo=$2
export WINEDEBUG=${WINEDEBUG:--all} WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
# The loader of the build's width, as tests/win/wine.sh run gives it.
wine=${BREM_WINE:-wine}
work=$(mktemp -d "${TMPDIR:-/tmp}/brem-zsearch-XXXXXX")
trap 'rm -rf "$work"' EXIT
win() { printf 'Z:%s' "$1" | tr / '\\'; }

mkdir -p "$work/lib" "$work/host" "$work/cwd"
cp "$bin/brem32.dll" "$work/lib/"
cp "$bin/newshost.exe" "$work/host/"

status=0
# attempt LABEL EXPECT(imported|waits) [DIR=PROGRAM ...]: PROGRAM is copied
# into DIR as zorpack.exe ("zorpack" the real one, "dud" a program that fails).
attempt() {
  local label=$1 expect=$2
  shift 2
  rm -f "$work"/{lib,host,cwd}/zorpack.exe
  for place in "$@"; do
    local dir=${place%%=*} what=${place#*=}
    if [ "$what" = zorpack ]; then cp "$bin/zorpack.exe" "$work/$dir/"; else cp "$bin/holdfile.exe" "$work/$dir/zorpack.exe"; fi
  done
  rm -rf "$work/cwd/spool" "$work/cwd/store"
  mkdir -p "$work/cwd/spool" "$work/cwd/store"
  cp "$demo/spool/0C0006.X" "$demo/spool/0N0006.D" "$work/cwd/spool/"
  cp "$demo/store/area.dat" "$work/cwd/store/"
  (cd "$work/cwd" && "$wine" "$work/host/newshost.exe" "$(win "$work/lib/brem32.dll")" spool store \
      >"$work/out.txt" 2>&1) || true
  local got=waits
  if [ ! -e "$work/cwd/spool/0C0006.X" ] && ls "$work/cwd/store"/area*.txt >/dev/null 2>&1; then got=imported; fi
  if [ "$got" = "$expect" ]; then
    echo "ok: $label: $got"
  else
    echo "FAIL: $label: expected $expect, got $got"
    sed 's/^/  /' "$work/out.txt"
    [ -f "$work/cwd/store/news.log" ] && tr -d '\r' < "$work/cwd/store/news.log" | sed 's/^/  log: /'
    status=1
  fi
}

attempt "beside brem32.dll" imported lib=zorpack
attempt "beside brem32.dll before the host's directory" imported lib=zorpack host=dud
attempt "the host's directory" imported host=zorpack
attempt "the host's directory before the current one" imported host=zorpack cwd=dud
attempt "the current directory" imported cwd=zorpack
attempt "nowhere" waits
exit $status

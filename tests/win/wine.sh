#!/usr/bin/env bash
# How the Windows tests reach Wine: one prefix per test run, and each program
# run by the loader of its build's width.
#   tests/win/wine.sh prefix DIR      sets up a fresh 64-bit prefix in DIR and
#                                     starts its server until "stop"
#   tests/win/wine.sh stop DIR        stops the prefix's server and programs
#   tests/win/wine.sh probe32         exit 0 when this machine runs 32-bit code;
#                                     else prints why not and exits 1
#   tests/win/wine.sh run 32|64 PROGRAM.exe ARGS...
#   tests/win/wine.sh run 32|64 COMMAND ARGS...   (a script that runs Windows
#                                     programs through "$BREM_WINE")
# "run" uses $WINEPREFIX (the test run's prefix); for 32 it first probes, and
# on a machine that runs no 32-bit code it prints the reason and exits 77,
# which CTest reports as skipped, never as passed.
set -euo pipefail

# The 64-bit loader runs 64-bit programs without any 32-bit code; Debian's
# `wine` wrapper prefers the 32-bit loader, which 32-bit programs need.
wine64_loader() {
  local w
  for w in /usr/lib/wine/wine64 "$(command -v wine64 || true)"; do
    [ -n "$w" ] && [ -x "$w" ] && { echo "$w"; return; }
  done
  echo "no 64-bit Wine loader (/usr/lib/wine/wine64; Debian: apt install wine64)" >&2
  return 1
}

defaults() {
  export WINEDEBUG=${WINEDEBUG:--all}
  export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
}

# Starts a tiny i386 program ("exit(0)" by int 0x80, assembled and linked
# here by binutils) instead of asking a setting: a kernel without IA-32
# emulation refuses it with "Exec format error".
probe32() {
  local dir probe
  dir=$(mktemp -d "${TMPDIR:-/tmp}/brem-i386-XXXXXX")
  probe="$dir/exit0"
  printf '.globl _start\n_start:\n  mov $1, %%eax\n  xor %%ebx, %%ebx\n  int $0x80\n' >"$dir/exit0.s"
  if ! as --32 -o "$dir/exit0.o" "$dir/exit0.s" || ! ld -m elf_i386 -o "$probe" "$dir/exit0.o"; then
    rm -rf "$dir"
    echo "binutils could not make the i386 probe: the i686 build was built and checked, not run"
    return 1
  fi
  local out rc=0
  out=$("$probe" 2>&1) || rc=$?
  rm -rf "$dir"
  if [ $rc -ne 0 ]; then
    case $out in
      *"Exec format error"*) echo "this machine runs no 32-bit code: the i686 build was built and checked, not run" ;;
      *) echo "this machine could not start a 32-bit program (exit $rc${out:+: $out}): the i686 build was built and checked, not run" ;;
    esac
    return 1
  fi
}

case ${1:-} in
  prefix)
    dir=$2
    defaults
    rm -rf "$dir"
    mkdir -p "$(dirname "$dir")"
    loader=$(wine64_loader)
    # The prefix's server and its own background programs (services,
    # explorer) run for the whole test run, started here with nothing of any
    # test's output open: a test whose first Wine program started them would
    # otherwise wait until the last of them ends, which is after every other
    # Windows test.
    server=/usr/lib/wine/wineserver64
    [ -x "$server" ] || server=wineserver
    mkdir -p "$dir"
    WINEPREFIX=$dir "$server" -p </dev/null >/dev/null 2>&1
    # A 64-bit prefix serves both builds. Without 32-bit code, wineboot says
    # it cannot open the syswow64 programs and still finishes; the timeout
    # only guards against a Wine that hangs all the same.
    WINEPREFIX=$dir WINEARCH=win64 timeout 300 "$loader" wineboot -i </dev/null >/dev/null 2>&1 || {
      rc=$?
      echo "wineboot failed (exit $rc) setting up $dir" >&2
      WINEPREFIX=$dir wineserver -k 2>/dev/null || true
      exit 1
    }
    echo "Wine prefix ready: $dir"
    ;;
  stop)
    WINEPREFIX=$2 wineserver -k 2>/dev/null || true
    ;;
  probe32)
    probe32
    ;;
  run)
    bits=$2
    shift 2
    defaults
    case $bits in
      64) BREM_WINE=$(wine64_loader) ;;
      32)
        if ! why=$(probe32); then
          echo "$why"
          exit 77
        fi
        BREM_WINE=$(command -v wine) || { echo "no Wine (Debian: apt install wine wine32:i386)" >&2; exit 1; }
        ;;
      *) echo "usage: tests/win/wine.sh run 32|64 COMMAND..." >&2; exit 2 ;;
    esac
    export BREM_WINE BREM_WINE_BITS=$bits
    # Wine's desktop process (explorer.exe) leaves when it has been idle a
    # while, and the next program that makes a window starts it again with
    # that program's output inherited: CTest would then wait on the open
    # pipe until the desktop leaves, long after the test ended. So the test
    # writes into a file, relayed as it grows until the test itself ends.
    out=$(mktemp "${TMPDIR:-/tmp}/brem-wine-out-XXXXXX")
    trap 'rm -f "$out"' EXIT
    case $1 in
      *.exe | *.EXE) "$BREM_WINE" "$@" </dev/null >"$out" 2>&1 & ;;
      *) "$@" </dev/null >"$out" 2>&1 & ;;
    esac
    pid=$!
    tail -s 0.1 -n +1 -f --pid=$pid "$out" &
    relay=$!
    rc=0
    wait $pid || rc=$?
    wait $relay || true
    # 77 is this script's "skipped": a test's own 77 is a failure.
    if [ $rc -eq 77 ]; then
      echo "the test exited 77, which counts as a failure here" >&2
      exit 1
    fi
    exit $rc
    ;;
  *)
    echo "usage: tests/win/wine.sh prefix DIR | stop DIR | probe32 | run 32|64 COMMAND..." >&2
    exit 2
    ;;
esac

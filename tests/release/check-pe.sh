#!/usr/bin/env bash
# Checks a shipped Windows binary as a host developer expects it: no debug
# sections (the debugging information ships separately), a version resource,
# Windows XP as the oldest system in the PE headers (5.1; 5.2, XP x64
# Edition, for a 64-bit binary), and nothing imported beyond the list of
# functions XP has (tests/release/windows-imports.txt, and for a 64-bit
# binary windows-imports-x64.txt too).
#   tests/release/check-pe.sh BINARY...
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
status=0
for bin in "$@"; do
  name=$(basename "$bin")
  # The binary's own architecture chooses the tools and the oldest system.
  if file -b "$bin" | grep 'x86-64' >/dev/null; then
    objdump=x86_64-w64-mingw32-objdump minor=2 lists=("$here/windows-imports.txt" "$here/windows-imports-x64.txt")
  else
    objdump=i686-w64-mingw32-objdump minor=1 lists=("$here/windows-imports.txt")
  fi
  headers=$("$objdump" -h "$bin")
  if grep -q '\.debug_' <<<"$headers"; then
    echo "FAIL: $name carries debug sections:"; grep '\.debug_' <<<"$headers" | awk '{print "  " $2}'; status=1
  fi
  grep -q '\.rsrc' <<<"$headers" || { echo "FAIL: $name has no resource section"; status=1; }
  # The version resource's strings are UTF-16: look for FileVersion in it.
  if ! strings -el "$bin" | grep -x FileVersion >/dev/null; then
    echo "FAIL: $name has no version resource"; status=1
  fi
  private=$("$objdump" -p "$bin")
  for field in MajorSubsystemVersion:5 MinorSubsystemVersion:$minor MajorOSystemVersion:5 MinorOSystemVersion:$minor; do
    got=$(awk -v f="${field%%:*}" '$1 == f {print $2}' <<<"$private")
    [ "$got" = "${field#*:}" ] || { echo "FAIL: $name: ${field%%:*} is $got, not ${field#*:} (Windows XP)"; status=1; }
  done
  extra=$(awk '/DLL Name:/ {dll=toupper($3); next} dll && /^\t[0-9a-f]+\t +[0-9]+ +[A-Za-z_]/ {print dll "!" $3}' \
            <<<"$private" | sort -u | comm -23 - <(cat "${lists[@]}" | grep -v '^#' | sort -u))
  if [ -n "$extra" ]; then
    echo "FAIL: $name imports what the list of XP's functions lacks:"; sed 's/^/  /' <<<"$extra"; status=1
  fi
  [ $status -ne 0 ] || echo "ok: $name"
done
exit $status

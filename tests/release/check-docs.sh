#!/usr/bin/env bash
# The reference keeps up with the library: every export of the .def has a
# heading of its own in docs/exports-*.md, every relative link of the README
# and of docs/ leads to a file that exists, and the rules on error buffers
# and on calls read the same in the header, the README, docs/ and the zip's
# README.
#   tests/release/check-docs.sh [SOURCE-DIR]
set -euo pipefail
src=${1:-$(cd "$(dirname "$0")/../.." && pwd)}
status=0
while read -r name; do
  if ! grep -Eq "^#+ .*\\b${name}\\b" "$src"/docs/exports-*.md; then
    echo "export $name has no heading in docs/exports-*.md" >&2
    status=1
  fi
done < <(sed -nE 's/^[[:space:]]+[^=[:space:]]+[[:space:]]*=[[:space:]]*([A-Za-z_]+)@[0-9]+.*/\1/p' \
           "$src/src/exports/brem32.def")
for md in "$src/README.md" "$src"/docs/*.md; do
  dir=$(dirname "$md")
  while read -r target; do
    target=${target%%#*}
    [ -z "$target" ] && continue
    if [ ! -e "$dir/$target" ]; then
      echo "$(basename "$md"): broken link to $target" >&2
      status=1
    fi
  done < <(grep -oE '\]\([^)]+\)' "$md" | sed -E 's/^\]\(//; s/\)$//' | grep -vE '^[a-z]+:' || true)
done
rules=(
  "an error buffer receives one text on failure, replacing what it held. It needs room for the text, the whole path the text names and the NUL: 512 bytes plus the longest path the host uses is enough."
  "make one call into the library at a time, process-wide, from any thread. The library keeps state between calls (the dial-up connection, the selected conversion, the UU coder's working state, the spool jobs each import listed last), and CHKDIR and MIMEDECODE use the process's current directory, which every thread shares."
)
for doc in include/brem32.h README.md docs/README.md cmake/release/README-windows.md; do
  # The text as read: without comment stars, markup and line breaks.
  flat=$(sed -E 's/^ *\* ?//; s/[`*]//g' "$src/$doc" | tr '\n' ' ' | tr -s ' ')
  for rule in "${rules[@]}"; do
    if ! grep -qiF -- "$rule" <<<"$flat"; then
      echo "$doc does not state the rule: ${rule:0:60}..." >&2
      status=1
    fi
  done
done
[ $status -eq 0 ] && echo "docs: every export documented, every link resolves, the rules read the same"
exit $status

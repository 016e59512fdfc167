#!/usr/bin/env bash
# The reference keeps up with the library: every export of the .def has a
# heading of its own in docs/exports-*.md, and every relative link of the
# README and of docs/ leads to a file that exists.
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
[ $status -eq 0 ] && echo "docs: every export documented, every link resolves"
exit $status

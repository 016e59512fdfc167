#!/usr/bin/env bash
# brem(1) documents every verb that `brem --help` lists, so a new verb does
# not ship without its entry in the man page.
#   tests/release/check-man.sh BREM MANPAGE
set -euo pipefail
brem=$1 page=$2
status=0
verbs=$("$brem" --help | sed -n '/^verbs:/,/^$/p' | sed -nE 's/^  ([a-z][a-z0-9-]*) .*/\1/p')
[ -n "$verbs" ] || { echo "brem --help lists no verbs" >&2; exit 1; }
for v in $verbs; do
  if ! grep -q "^\\\\fB$v\\\\fR" "$page"; then
    echo "brem $v has no entry in $(basename "$page")" >&2
    status=1
  fi
done
grep -q '^\.SH EXIT STATUS' "$page" || { echo "no EXIT STATUS section" >&2; status=1; }
[ $status -eq 0 ] && echo "man page: $(echo $verbs | wc -w) verbs documented"
exit $status

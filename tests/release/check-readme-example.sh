#!/usr/bin/env bash
# The README's "A host in C" compiles against the public header alone and
# links against the library, so the first program a host developer copies
# is one that builds.
#   tests/release/check-readme-example.sh SOURCE-DIR LIBRARY-DIR
set -euo pipefail
src=$1 libdir=$(cd "$2" && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/brem-readme-XXXXXX")
trap 'rm -rf "$work"' EXIT
awk '/^## A host in C/ {inside=1; next}
     inside && /^```c/ {code=1; next}
     code && /^```/ {exit}
     code {print}' "$src/README.md" > "$work/host.c"
[ -s "$work/host.c" ] || { echo "README.md: no C example under 'A host in C'" >&2; exit 1; }
${CC:-cc} ${BREM_EXAMPLE_CFLAGS:-} -std=c99 -Wall -Wextra -Werror -I "$src/include" "$work/host.c" -L "$libdir" -lbrem32 \
  -Wl,-rpath,"$libdir" -o "$work/host"
# It runs to its end against directories that are not there: every call
# fails cleanly and the program says so.
(cd "$work" && ./host >/dev/null 2>&1) || { echo "the README example failed to run" >&2; exit 1; }
echo "README example: compiles, links and runs"

#!/usr/bin/env bash
# The demo: the sample spool is imported into a fresh store, the records are
# listed, and every message is read back from its address; the steps in
# demo/steps/ run in the order of their names.
#   demo/run-demo.sh [PATH-TO-brem]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
brem=${1:-$here/../build/bin/brem}
work=$(mktemp -d "${TMPDIR:-/tmp}/brem-demo-XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/spool" "$work/store"
cp "$here"/spool/* "$work/spool/"
for step in "$here"/steps/*.sh; do
  # shellcheck source=/dev/null
  . "$step"
  echo
done

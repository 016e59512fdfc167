#!/usr/bin/env bash
# Mail import and chunked reading, beside cat of the same bytes, in one run.
#   bench/run-store.sh [MAILS] [MEGABYTES]
set -euo pipefail
cd "$(dirname "$0")/.."
mails=${1:-10000}
mb=${2:-100}
cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DBREM_BENCH=ON -DBREM_SANITIZE=OFF -DBREM_TESTS=OFF \
  -DBREM_WINDOWS=OFF >/dev/null
cmake --build build-bench -j2 --target bench_store_bench >/dev/null
bench=build-bench/bin/bench_store_bench
work=$(mktemp -d "${TMPDIR:-/tmp}/brem-bench-XXXXXX")
trap 'rm -rf "$work"' EXIT

secs() { local t0 t1; t0=$(date +%s.%N); "$@"; t1=$(date +%s.%N); echo "$t1 - $t0" | bc -l; }
mbps() { echo "scale=1; $1 / $2 / 1000000" | bc -l; }

echo "== IMPMAIL: $mails mails of about 3 KB"
read -r bytes t rate < <("$bench" import "$work/imp" "$mails" 3000)
echo "IMPMAIL            $bytes bytes  ${t}s  $rate MB/s"
# cat of the same bytes: the store's area file holds exactly the imported mails.
cp "$work/imp/store/mailarea.txt" "$work/mails.txt"
ct=$(secs sh -c "cat '$work/mails.txt' > /dev/null")
echo "cat                $(stat -c %s "$work/mails.txt") bytes  ${ct}s  $(mbps "$(stat -c %s "$work/mails.txt")" "$ct") MB/s"

echo
echo "== READMESSAGE: a ${mb} MB area file read chunk by chunk"
read -r bytes t rate < <("$bench" read "$work" "$mb")
echo "READMESSAGE        $bytes bytes  ${t}s  $rate MB/s"
ct=$(secs sh -c "cat '$work/area1.txt' > /dev/null")
echo "cat                $(stat -c %s "$work/area1.txt") bytes  ${ct}s  $(mbps "$(stat -c %s "$work/area1.txt")" "$ct") MB/s"

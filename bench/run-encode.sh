#!/usr/bin/env bash
# MIMEENCODE and MIMEDECODE beside coreutils' base64 and base64 -d, and the
# UU coder both ways beside sharutils' uuencode and uudecode, on the same
# 100 MB of random bytes, in one run. Wall-clock seconds of whole processes
# (the library's figures through a small host program).
#   bench/run-encode.sh [MEGABYTES]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
mb=${1:-100}
build=$root/build-bench-encode
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DBREM_BENCH=ON -DBREM_SANITIZE=OFF -DBREM_TESTS=OFF \
  -DBREM_WINDOWS=OFF >/dev/null
cmake --build "$build" -j2 --target bench_encode >/dev/null
bench=$build/bin/bench_encode
[ -x "$bench" ] || bench=$build/bench/bench_encode

work=$(mktemp -d "${TMPDIR:-/tmp}/brem-bench-XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work"
head -c $((mb * 1024 * 1024)) /dev/urandom > data.bin

secs() {  # secs COMMAND...: wall-clock seconds of the command
  local t0 t1
  t0=$(date +%s.%N)
  "$@" >/dev/null 2>&1
  t1=$(date +%s.%N)
  echo "$t0 $t1" | awk '{printf "%.2f", $2 - $1}'
}
rate() { echo "$mb $1" | awk '{ if ($2 > 0) printf "%7.0f MB/s", $1 / $2; else print "    - MB/s" }'; }
row() { printf '%-34s %6s s  %s\n' "$1" "$2" "$(rate "$2")"; }

echo "== $mb MB of random bytes"
sync
t=$(secs "$bench" mimeencode data.bin data.mime); row "MIMEENCODE" "$t"
t=$(secs sh -c 'base64 data.bin > data.b64'); row "base64" "$t"
{ printf 'Subject: bench\n'; cat data.mime; } > msg.txt
t=$(secs "$bench" mimedecode msg.txt back.bin); row "MIMEDECODE" "$t"
cmp -s data.bin back.bin || echo "MIMEDECODE output differs!"
t=$(secs sh -c 'base64 -d data.b64 > back64.bin'); row "base64 -d" "$t"
t=$(secs "$bench" uu data.bin data.enc); row "UUENCODE (encode)" "$t"
t=$(secs sh -c 'uuencode data.bin data.out > data.uue'); row "sharutils uuencode" "$t"
rm -f back.bin back64.bin
t=$(secs "$bench" uu data.enc back.bin); row "UUENCODE (decode)" "$t"
cmp -s data.bin back.bin || echo "UUENCODE decode output differs!"
t=$(secs sh -c 'uudecode -o backuu.bin data.uue'); row "sharutils uudecode" "$t"

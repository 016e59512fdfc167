#!/usr/bin/env bash
# MIMEENCODE and MIMEDECODE beside coreutils' base64 and base64 -d, and the
# UU coder both ways beside sharutils' uuencode and uudecode, on the same
# random bytes, in one run: whole processes, the library's side through a
# small host program (bench_encode), each pair interleaved, best of three.
#   bench/run-encode.sh [BUILD_DIR [SIZE_MB]]
# BUILD_DIR (default build-bench) is configured as a Release build when it is
# not one yet; SIZE_MB defaults to 100. The files lie in /dev/shm (see
# bench/pairs.sh). Prints the lines of bench/pairs.sh:
# MIMEENCODE, MIMEDECODE, UUENCODE-encode, UUENCODE-decode.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath -m "${1:-$root/build-bench}")
mb=${2:-100}
. "$root/bench/pairs.sh"
bench_build "$build" bench_encode
for tool in base64 uuencode uudecode; do
  command -v $tool >/dev/null || { echo "$tool is needed (coreutils, sharutils)" >&2; exit 1; }
done

bench=$build/bin/bench_encode
work=$(bench_workdir brem-bench-encode)
trap 'rm -rf "$work"' EXIT
cd "$work"
head -c $((mb * 1024 * 1024)) /dev/urandom > data.bin
"$bench" mimeencode data.bin data.mime 2>/dev/null
{ printf 'Subject: bench\n'; cat data.mime; } > msg.txt
base64 data.bin > data.b64
"$bench" uu data.bin data.enc >/dev/null 2>&1
uuencode data.bin data.out > data.uue

pair_header
pair MIMEENCODE "$mb" base64 - "$bench mimeencode data.bin o.mime" p.b64 "base64 data.bin"
pair MIMEDECODE "$mb" base64-d - "$bench mimedecode msg.txt o.bin" p.bin "base64 -d data.b64"
cmp -s data.bin o.bin || echo "# MIMEDECODE output differs from the input!"
# The coder asks before it replaces an output; the end of its standard input
# answers yes.
pair UUENCODE-encode "$mb" uuencode - "$bench uu data.bin o.enc" p.uue "uuencode data.bin data.out"
pair UUENCODE-decode "$mb" uudecode - "$bench uu data.enc o.bin" - "uudecode -o p.bin data.uue"
cmp -s data.bin o.bin || echo "# UUENCODE decode output differs from the input!"

#!/usr/bin/env bash
# zorpack compressing with 16-bit codes and expanding, beside ncompress's
# compress -b 16 and compress -d, on the same text-like bytes (the words of
# news text), in one run: each pair interleaved, best of three. The
# compressed bytes must be those of compress -b 16.
#   bench/run-zorpack.sh [BUILD_DIR [SIZE_MB]]
# BUILD_DIR (default build-bench) is configured as a Release build when it is
# not one yet; SIZE_MB defaults to 100. The files lie in /dev/shm (see
# bench/pairs.sh). Prints the lines of bench/pairs.sh: zorpack-b16,
# zorpack-d; then a line "# ..." for each check that fails.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath -m "${1:-$root/build-bench}")
mb=${2:-100}
. "$root/bench/pairs.sh"
bench_build "$build" zorpack bench_news_gen
command -v compress >/dev/null || { echo "ncompress (compress) is needed" >&2; exit 1; }
work=$(bench_workdir brem-bench-zorpack)
trap 'rm -rf "$work"' EXIT
cd "$work"
"$build/bin/bench_news_gen" text $((mb * 1024 * 1024)) text
# zorpack finds names case-blind, as on Windows: the reference must not be
# called text.Z beside text.z.
compress -b 16 -c text > reference.Z
cp reference.Z x.z

zorpack=$build/bin/zorpack
pair_header
pair zorpack-b16 "$mb" compress-b16 - "$zorpack -f -b 16 text" peer.Z "compress -b 16 -c text"
cmp -s text.z reference.Z || echo "# zorpack -b 16 output differs from compress -b 16"
pair zorpack-d "$mb" compress-d - "$zorpack -d -f x" peer.out "compress -d -c reference.Z"
cmp -s x text || echo "# zorpack -d output differs from the input"

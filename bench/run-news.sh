#!/usr/bin/env bash
# News benchmarks, each beside its peer in the same run:
#  - zorpack compressing (-b 16) and expanding a 100 MB text-like file, beside
#    ncompress's compress -b 16 and uncompress;
#  - IMPNEWS filing a plain 100 MB batch of 20,000 articles into 50 areas,
#    beside cp of the same bytes.
# Each figure is the best of three runs.
#   bench/run-news.sh [WORKDIR]
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=$here/build-bench-news
cmake -S "$here" -B "$build" -DCMAKE_BUILD_TYPE=Release -DBREM_BENCH=ON -DBREM_SANITIZE=OFF \
  -DBREM_TESTS=OFF -DBREM_WINDOWS=OFF >/dev/null
cmake --build "$build" -j2 --target zorpack brem32 bench_news_gen bench_news_file >/dev/null
bin=$build/bin
work=${1:-$(mktemp -d "${TMPDIR:-/tmp}/brem-bench-news-XXXXXX")}
mkdir -p "$work"
trap 'rm -rf "$work"' EXIT
command -v compress >/dev/null || { echo "ncompress (compress, uncompress) is needed" >&2; exit 1; }

best() {  # best of three wall-clock seconds of a command
  local b="" t0 t1 d
  for _ in 1 2 3; do
    t0=$EPOCHREALTIME; "$@"; t1=$EPOCHREALTIME
    d=$(awk -v a="$t0" -v b="$t1" 'BEGIN {print b - a}')
    if [ -z "$b" ] || awk -v d="$d" -v b="$b" 'BEGIN {exit !(d < b)}'; then b=$d; fi
  done
  printf '%.3f' "$b"
}
mbps() { awk -v n="$1" -v t="$2" 'BEGIN {printf "%.1f", n / 1048576 / t}'; }

size=$((100 * 1024 * 1024))
"$bin/bench_news_gen" text $size "$work/text"

zc() { "$bin/zorpack" -fk -b 16 "$work/text"; }
nc() { compress -f -c -b 16 < "$work/text" > "$work/text.Z"; }
t_zc=$(best zc); t_nc=$(best nc)
cmp -s "$work/text.z" "$work/text.Z" && same="byte-identical" || same="DIFFERENT"
cp "$work/text.z" "$work/x.z"
zd() { "$bin/zorpack" -d -f -b 16 "$work/x"; }
nd() { uncompress -c < "$work/text.Z" > "$work/y"; }
t_zd=$(best zd); t_nd=$(best nd)
cmp -s "$work/x" "$work/text" && cmp -s "$work/y" "$work/text" || { echo "expansion differs" >&2; exit 1; }
zsize=$(stat -c %s "$work/text.z")

mkdir -p "$work/spool" "$work/store"
"$bin/bench_news_gen" batch 20000 50 $size "$work/spool" "$work/store"
bsize=$(stat -c %s "$work/spool/0A0001.D")
cp "$work/spool/0A0001.D" "$work/batch.keep"; cp "$work/spool/0C0001.X" "$work/job.keep"
t_file=""
for _ in 1 2 3; do
  rm -f "$work"/store/area*.txt "$work"/spool/*
  cp "$work/batch.keep" "$work/spool/0A0001.D"; cp "$work/job.keep" "$work/spool/0C0001.X"
  sync
  t=$("$bin/bench_news_file" "$work/spool" "$work/store")
  if [ -z "$t_file" ] || awk -v d="$t" -v b="$t_file" 'BEGIN {exit !(d < b)}'; then t_file=$t; fi
done
records=$(($(grep -c '' "$work/spool/Header.Msg") / 9))
areas=$(ls "$work"/store/area*.txt | wc -l)
cpit() { cp "$work/batch.keep" "$work/batch.copy"; }
t_cp=$(best cpit)

echo "news benchmarks (best of 3, $(nproc) cores, $(date -u +%Y-%m-%dT%H:%MZ))"
printf '%-44s %8s s  %7s MB/s\n' \
  "zorpack -fk -b 16 (100 MB text)" "$t_zc" "$(mbps $size "$t_zc")" \
  "compress -b 16 (ncompress, same file)" "$t_nc" "$(mbps $size "$t_nc")" \
  "zorpack -d (expand)" "$t_zd" "$(mbps $size "$t_zd")" \
  "uncompress (ncompress)" "$t_nd" "$(mbps $size "$t_nd")" \
  "IMPNEWS, plain batch ($records articles, $areas areas)" "$t_file" "$(mbps "$bsize" "$t_file")" \
  "cp of the same batch" "$t_cp" "$(mbps "$bsize" "$t_cp")"
echo "compressed size $zsize bytes ($same to compress -b 16); batch $bsize bytes"

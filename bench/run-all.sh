#!/usr/bin/env bash
# Every speed and memory figure of the library beside its peer, in one run:
# builds Release into build-bench-all, runs each pair back to back on the same
# bytes, prints one table and writes it, with the date and the machine, to
# docs/benchmarks.md.
#   bench/run-all.sh [--quick] [--no-wine] [--no-write]
#     --quick     small sizes, a run of a minute or two (no 100,000-mail spool,
#                 no 1 GB batch)
#     --no-wine   leave out the Windows build under Wine
#     --no-write  print the table only
# The import and read figures are wall-clock seconds of single runs; the
# coders' and zorpack's come from their own scripts (bench/run-zorpack.sh,
# run-encode.sh, run-charset.sh: best of three, files in /dev/shm). On a
# shared machine they move by tens of percent from run to run. Peak memory is
# the maximum resident set of the process that does the work (/usr/bin/time).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
quick=0 wine_too=1 write=1
for arg in "$@"; do
  case $arg in
    --quick) quick=1 ;;
    --no-wine) wine_too=0 ;;
    --no-write) write=0 ;;
    *) echo "usage: bench/run-all.sh [--quick] [--no-wine] [--no-write]" >&2; exit 2 ;;
  esac
done

if [ $quick = 1 ]; then
  mail_counts="100 1000 10000"; news_counts="100 1000"; floor_counts="1000"; read_mb=20; news_mb=20; big_news_mb=0; z_mb=20; enc_mb=40; cs_mb=40
  wine_mails=200; wine_read_mb=10
else
  mail_counts="100 1000 10000 100000"; news_counts="100 10000"; floor_counts="1000 10000"; read_mb=100; news_mb=100; big_news_mb=1024; z_mb=100; enc_mb=100; cs_mb=50
  wine_mails=1000; wine_read_mb=100
fi

for tool in /usr/bin/time compress base64 uuencode uudecode iconv cmake; do
  command -v "$tool" >/dev/null || { echo "run-all: $tool is needed" >&2; exit 1; }
done

build=$root/build-bench-all
echo "building Release in $build ..." >&2
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DBREM_BENCH=ON -DBREM_SANITIZE=OFF -DBREM_TESTS=OFF \
  -DBREM_WINDOWS=OFF >/dev/null
cmake --build "$build" -j2 --target brem32 zorpack bench_import_bench bench_sync_floor bench_news_gen \
  bench_news_file bench_encode bench_charset >/dev/null
bin=$build/bin

work=$(mktemp -d "${TMPDIR:-/tmp}/brem-bench-all-XXXXXX")
trap 'rm -rf "$work"' EXIT
tv=$work/time.txt

# timed CMD...: runs the command under /usr/bin/time -v; its standard output
# goes to $work/out, its wall-clock seconds to $secs, its peak memory (KB)
# to $peak.
timed() {
  local t0 t1
  t0=$EPOCHREALTIME
  if ! /usr/bin/time -v -o "$tv" "$@" >"$work/out" 2>"$work/err"; then
    echo "run-all: failed: $*" >&2
    cat "$work/err" >&2
    exit 1
  fi
  t1=$EPOCHREALTIME
  secs=$(awk -v a="$t0" -v b="$t1" 'BEGIN {printf "%.6f", b - a}')
  peak=$(awk -F: '/Maximum resident set size/ {gsub(/ /, "", $2); print $2}' "$tv")
}
# wall CMD...: wall-clock seconds into $secs, output discarded.
wall() {
  local t0 t1
  t0=$EPOCHREALTIME
  "$@" >/dev/null 2>&1
  t1=$EPOCHREALTIME
  secs=$(awk -v a="$t0" -v b="$t1" 'BEGIN {printf "%.6f", b - a}')
}
mbs() { awk -v n="$1" -v t="$2" 'BEGIN { if (t > 0) printf "%.1f MB/s", n / 1e6 / t; else print "-" }'; }
ratio() { awk -v o="$1" -v p="$2" 'BEGIN { if (o > 0 && p > 0) printf "%.2fx", p / o; else print "-" }'; }
mem() { awk -v k="${1:-0}" 'BEGIN { if (k > 0) printf "%.1f MB", k / 1024; else print "-" }'; }
human() { awk -v n="$1" 'BEGIN { if (n >= 1e9) printf "%.1f GB", n / 1e9; else if (n >= 1e6) printf "%.0f MB", n / 1e6; else printf "%.0f KB", n / 1e3 }'; }

rows=()  # operation|size|ours|peer|ratio|peak memory|target
row() { rows+=("$1|$2|$3|$4|$5|$6|$7"); printf '  %-32s %-14s %-26s %-22s %-7s %s\n' "$1" "$2" "$3" "$4" "$5" "$6" >&2; }
notes=()

# Where a sync costs nothing (tmpfs), so that the rows of many waiting jobs
# show the library's own work per call; the durable cost on a disk is
# measured against its floor below.
shm=$work
if [ -d /dev/shm ] && [ -w /dev/shm ]; then
  shm=$(mktemp -d /dev/shm/brem-bench-all-XXXXXX)
  trap 'rm -rf "$work" "$shm"' EXIT
fi

# --- IMPMAIL over spools of many waiting mails, beside cat of the same bytes
cd "$shm"
declare -A per_mail
for n in $mail_counts; do
  rm -rf mail
  timed "$bin/bench_import_bench" mail mail "$n" 3000
  read -r bytes t <"$work/out"
  per_mail[$n]=$(awk -v t="$t" -v n="$n" 'BEGIN {printf "%.0f", t / n * 1e6}')
  wall cat mail/store/mailarea.txt
  row "IMPMAIL, $n waiting" "$(human "$bytes")" "$(mbs "$bytes" "$t"), ${per_mail[$n]} us/mail" \
    "cat $(mbs "$bytes" "$secs")" "$(ratio "$t" "$secs")" "$(mem "$peak")" ">= 20 MB/s"
done
rm -rf mail
first=${mail_counts%% *}; last=${mail_counts##* }
notes+=("IMPMAIL per-mail cost at $last waiting is $(awk -v a="${per_mail[$last]}" -v b="${per_mail[$first]}" \
  'BEGIN {printf "%.2f", a / b}')x that at $first (target: within 2x).")

# --- IMPNEWS over spools of many small waiting batches: the cost of a call
# beside the number waiting
declare -A per_batch
for n in $news_counts; do
  rm -rf many
  timed "$bin/bench_import_bench" news many "$n" 3000
  read -r bytes t <"$work/out"
  per_batch[$n]=$(awk -v t="$t" -v n="$n" 'BEGIN {printf "%.0f", t / n * 1e6}')
  wall sh -c 'cat many/store/area*.txt'
  row "IMPNEWS, $n small batches waiting" "$(human "$bytes")" "$(mbs "$bytes" "$t"), ${per_batch[$n]} us/batch" \
    "cat $(mbs "$bytes" "$secs")" "$(ratio "$t" "$secs")" "$(mem "$peak")" "(flat per call)"
done
rm -rf many
first=${news_counts%% *}; last=${news_counts##* }
notes+=("IMPNEWS per-call cost at $last waiting batches is $(awk -v a="${per_batch[$last]}" -v b="${per_batch[$first]}" \
  'BEGIN {printf "%.2f", a / b}')x that at $first.")

# --- IMPMAIL beside its floor: per mail, the two appends of the same sizes,
# their two fdatasyncs and the two deletions that a durable import cannot do
# without (bench/sync_floor.cpp), on the same file system; the ratio is
# IMPMAIL's mails a second over the floor's.
floor_pair() {  # floor_pair DIR WHERE COUNT
  local dir=$1 where=$2 n=$3 tf ti
  cd "$dir"
  rm -rf floor mail
  timed "$bin/bench_sync_floor" floor "$n" 3000
  read -r _ tf <"$work/out"
  timed "$bin/bench_import_bench" mail mail "$n" 3000
  read -r _ ti <"$work/out"
  rm -rf floor mail
  row "IMPMAIL durable, $n waiting, $where" "$n mails" \
    "$(awk -v n="$n" -v t="$ti" 'BEGIN {printf "%.0f mails/s", n / t}')" \
    "floor $(awk -v n="$n" -v t="$tf" 'BEGIN {printf "%.0f mails/s", n / t}')" \
    "$(awk -v a="$ti" -v b="$tf" 'BEGIN {printf "%.2fx", b / a}')" "$(mem "$peak")" \
    "$([ "$where" = disk ] && echo ">= 0.5x" || echo "(info)")"
}
for n in $floor_counts; do floor_pair "$work" disk "$n"; done
if [ "$shm" != "$work" ]; then
  for n in $floor_counts; do floor_pair "$shm" tmpfs "$n"; done
fi
notes+=("IMPMAIL durable: per mail it syncs mailarea.txt and mail.hdr (as the floor does) and the spool directory between the deletions of the execute file and the data file; on tmpfs a sync costs nothing and the ratio shows the rest of its work.")
cd "$work"

# --- READMESSAGE chunk by chunk, beside cat
rm -rf read
timed "$bin/bench_import_bench" read read "$read_mb"
read -r bytes t <"$work/out"
wall cat read/area1.txt
row "READMESSAGE" "$(human "$bytes")" "$(mbs "$bytes" "$t")" "cat $(mbs "$bytes" "$secs")" "$(ratio "$t" "$secs")" \
  "$(mem "$peak")" ">= 0.33x"
rm -rf read

# --- IMPNEWS: one plain batch into 50 areas, beside cp of the batch
news() {  # news MEGABYTES
  local size=$(($1 * 1000000)) articles=$(($1 * 200))
  rm -rf news && mkdir -p news/spool news/store
  "$bin/bench_news_gen" batch "$articles" 50 "$size" news/spool news/store
  cp news/spool/0A0001.D batch.keep
  local bytes
  bytes=$(stat -c %s batch.keep)
  sync
  timed "$bin/bench_news_file" news/spool news/store
  local t
  t=$(cat "$work/out")
  local p=$peak
  wall cp batch.keep batch.copy
  row "IMPNEWS plain, 50 areas" "$(human "$bytes")" "$(mbs "$bytes" "$t")" "cp $(mbs "$bytes" "$secs")" \
    "$(ratio "$t" "$secs")" "$(mem "$p")" ">= 0.5x"
  news_peaks+="$(human "$bytes"): $(mem "$p"); "
  rm -rf news batch.keep batch.copy
}
news_peaks=""
news "$news_mb"
if [ "$big_news_mb" -gt 0 ]; then news "$big_news_mb"; fi
notes+=("IMPNEWS peak memory by batch size: ${news_peaks%; }.")

# --- the coders and zorpack, through their own benchmark scripts (each pair
# interleaved, best of three). They print one tab-separated line a pair:
#   operation size_mb ours_s peer peer_s ratio ours_cpu_s peer_cpu_s ours_peak_kb peer_peak_kb
# and "# ..." for a failed check. Each row is looked for by its operation, so
# added or reordered lines do no harm; an older layout (a label, blanks, then
# seconds, e.g. "MIMEENCODE    0.52 s") is read too, without memory.
# coder FILE LABEL TARGET KEY [LEGACY-LABEL LEGACY-PEER PEER-NAME]
coder() {
  local file=$1 label=$2 target=$3 key=$4 legacy=${5:-} legacy_peer=${6:-} peer_name=${7:-}
  local line
  line=$(awk -F'\t' -v k="$key" '$1 == k && NF >= 6 {print; exit}' "$file")
  if [ -n "$line" ]; then
    local mb ours peer peer_s r peak bytes
    IFS=$'\t' read -r _ mb ours peer peer_s r _ _ peak _ <<<"$line"
    bytes=$(awk -v m="$mb" 'BEGIN {printf "%.0f", m * 1048576}')
    row "$label" "$(human "$bytes")" "$(mbs "$bytes" "$ours")" "$peer $(mbs "$bytes" "$peer_s")" "${r}x" \
      "$(mem "${peak:-0}")" "$target"
    return
  fi
  local ours="" peer=""
  if [ -n "$legacy" ]; then
    ours=$(seconds_of "$legacy" "$file"); peer=$(seconds_of "$legacy_peer" "$file")
  fi
  if [ -z "$ours" ] || [ -z "$peer" ]; then
    row "$label" "-" "not reported" "-" "-" "-" "$target"
    notes+=("$label: no figure found in the output of its benchmark script.")
    return
  fi
  row "$label" "-" "$ours s" "$peer_name $peer s" "$(ratio "$ours" "$peer")" "-" "$target"
}
# seconds_of LABEL FILE: the first number followed by " s" on the first line
# that holds LABEL, blanks and then a number.
seconds_of() {
  awk -v l="$1" 'index($0, l) == 1 {
      rest = substr($0, length(l) + 1)
      if (rest !~ /^ +[0-9]/) next
      if (match(rest, /[0-9]+(\.[0-9]+)? *s( |$)/)) { v = substr(rest, RSTART, RLENGTH); sub(/ *s.*/, "", v); print v; exit }
    }' "$2"
}
# script NAME SIZE_MB: runs bench/NAME with this run's build; its output
# into $work/NAME.txt, failed checks into the notes.
script() {
  local out=$work/$1.txt
  echo "running bench/$1 $2 ..." >&2
  if [ ! -f "$root/bench/$1" ]; then
    notes+=("bench/$1 is missing.")
    : >"$out"
    return
  fi
  if ! bash "$root/bench/$1" "$build" "$2" >"$out" 2>&1; then
    notes+=("bench/$1 failed: $(tail -1 "$out")")
  fi
  while read -r l; do notes+=("bench/$1: ${l#\# }"); done < <(grep -i '^# .*differ' "$out" || true)
}
script run-zorpack.sh "$z_mb"
coder "$work/run-zorpack.sh.txt" "zorpack -b 16 compress" ">= 1.5x" zorpack-b16
coder "$work/run-zorpack.sh.txt" "zorpack -d" ">= 1.5x" zorpack-d
script run-encode.sh "$enc_mb"
f=$work/run-encode.sh.txt
coder "$f" "MIMEDECODE" ">= 2x" MIMEDECODE MIMEDECODE "base64 -d" "base64 -d"
coder "$f" "MIMEENCODE" ">= 2x" MIMEENCODE MIMEENCODE base64 base64
coder "$f" "UUENCODE decode" ">= 2x" UUENCODE-decode "UUENCODE (decode)" "sharutils uudecode" uudecode
coder "$f" "UUENCODE encode" ">= 2x" UUENCODE-encode "UUENCODE (encode)" "sharutils uuencode" uuencode
script run-charset.sh "$cs_mb"
coder "$work/run-charset.sh.txt" "DECODE_ISO, 8-bit text" ">= 2x" DECODE_ISO "DECODE_ISO (8-bit text)" \
  "iconv -f ISO-8859-1 -t CP850" iconv

# --- the Windows build under Wine beside the native one (for information)
if [ $wine_too = 1 ]; then
  # The 32-bit DLL where the machine runs 32-bit code, else the 64-bit one.
  if "$root/tests/win/wine.sh" probe32 >/dev/null; then
    warch=i686 wbits=32
  else
    warch=x86_64 wbits=64
    notes+=("This machine runs no 32-bit code: the Wine rows are the 64-bit DLL's.")
  fi
  if command -v wine >/dev/null && command -v $warch-w64-mingw32-g++ >/dev/null; then
    wbuild=$root/build-bench-win$wbits
    echo "building the $wbits-bit brem32.dll in $wbuild ..." >&2
    cmake -S "$root" -B "$wbuild" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-$warch.cmake" \
      -DCMAKE_BUILD_TYPE=Release -DBREM_TESTS=OFF -DBREM_WINDOWS=OFF >/dev/null
    cmake --build "$wbuild" -j2 --target brem32 brem32_importlib >/dev/null
    $warch-w64-mingw32-g++ -O2 -std=c++17 -I"$root/include" "$root/bench/import_bench.cpp" \
      "$wbuild/lib/libbrem32.dll.a" -static -o "$wbuild/bin/import_bench.exe"
    # A prefix of this run's own, as the tests use one.
    export WINEPREFIX=$work/wine-prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
    "$root/tests/win/wine.sh" prefix "$WINEPREFIX" >/dev/null
    if [ $wbits = 64 ]; then wloader=/usr/lib/wine/wine64; else wloader=wine; fi
    "$wloader" "$wbuild/bin/import_bench.exe" >/dev/null 2>&1 || true  # starts the Wine server
    rm -rf mail
    timed "$wloader" "$wbuild/bin/import_bench.exe" mail mail "$wine_mails" 3000
    read -r wb wt <"$work/out"
    rm -rf mail
    timed "$bin/bench_import_bench" mail mail "$wine_mails" 3000
    read -r nb nt <"$work/out"
    row "IMPMAIL, $wine_mails waiting, Wine" "$(human "$wb")" "$(mbs "$wb" "$wt")" "native $(mbs "$nb" "$nt")" \
      "$(ratio "$wt" "$nt")" "-" "(info)"
    rm -rf mail read
    timed "$wloader" "$wbuild/bin/import_bench.exe" read read "$wine_read_mb"
    read -r wb wt <"$work/out"
    rm -rf read
    timed "$bin/bench_import_bench" read read "$wine_read_mb"
    read -r nb nt <"$work/out"
    row "READMESSAGE, Wine" "$(human "$wb")" "$(mbs "$wb" "$wt")" "native $(mbs "$nb" "$nt")" "$(ratio "$wt" "$nt")" \
      "-" "(info)"
    rm -rf read
  else
    notes+=("Wine or mingw-w64 missing: the Windows rows are left out.")
  fi
fi

# --- the table
machine="$(nproc) cores, $(awk -F: '/model name/ {sub(/^ */, "", $2); print $2; exit}' /proc/cpuinfo), \
$(awk '/MemTotal/ {printf "%.0f GB RAM", $2 / 1048576}' /proc/meminfo), $(uname -sr), \
$(df -T "$work" | awk 'NR == 2 {print $2}') file system, load average $(cut -d' ' -f1-3 /proc/loadavg)"
when=$(date -u +%Y-%m-%dT%H:%MZ)
mode="full"; [ $quick = 1 ] && mode="quick"

table() {  # table: the rows as a Markdown table
  echo "| operation | size | ours | peer | ratio | peak memory | target |"
  echo "|---|---|---|---|---|---|---|"
  local r
  for r in "${rows[@]}"; do echo "| ${r//|/ | } |"; done
}
echo
echo "brem32 benchmarks ($mode run, $when)"
echo "$machine"
echo
printf '%-36s %-10s %-28s %-28s %-7s %-12s %s\n' operation size ours peer ratio "peak mem" target
for r in "${rows[@]}"; do
  IFS='|' read -r a b c d e f g <<<"$r"
  printf '%-36s %-10s %-28s %-28s %-7s %-12s %s\n' "$a" "$b" "$c" "$d" "$e" "$f" "$g"
done
echo
for n in "${notes[@]}"; do echo "- $n"; done

if [ $write = 1 ]; then
  out=$root/docs/benchmarks.md
  {
    echo "# Benchmarks"
    echo
    echo "Written by \`bench/run-all.sh\` ($mode run) on $when."
    echo
    echo "Machine: $machine."
    echo
    echo "Each row runs our operation and its peer back to back on the same bytes; the ratio is the peer's"
    echo "time over ours (above 1: we are faster). Imports and reads are single wall-clock runs; zorpack"
    echo "and the coders come from bench/run-zorpack.sh, run-encode.sh and run-charset.sh (best of three,"
    echo "files in /dev/shm). The machine is shared, so figures move by tens of percent between runs."
    echo "Peak memory is the maximum resident set of the process doing the work (/usr/bin/time), for"
    echo "IMPMAIL including the setup that writes the spool."
    echo
    table
    echo
    for n in "${notes[@]}"; do echo "- $n"; done
    echo
    echo "## Memory"
    echo
    echo "The peaks above include the program and its libraries, about 3 MB."
    echo
    echo "- IMPMAIL: a 64 KB copy buffer, the message is never held whole; and the kept search of the"
    echo "  spool, the names of the waiting files, which is the one part that grows with the spool (not"
    echo "  with the mails' size): see the peak at 100,000 waiting."
    echo "- IMPNEWS: stream buffers and one copy buffer of at most 1 MB, none sized by the batch; the"
    echo "  note above gives the peak at 100 MB and at 1 GB."
    echo "- READMESSAGE, the coders, DECODE_ISO and zorpack: the peaks in the table, at the sizes shown;"
    echo "  \`bench/run-all.sh --quick\` runs them on inputs 5 to 10 times smaller for comparison."
  } >"$out"
  echo "written to docs/benchmarks.md" >&2
fi

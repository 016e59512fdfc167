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
# Figures are wall-clock seconds of single runs; on a shared machine they move
# by tens of percent from run to run. Peak memory is the maximum resident set
# of the process that does the work, from /usr/bin/time -v.
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
  mail_counts="100 1000 10000"; news_counts="100 1000"; read_mb=20; news_mb=20; big_news_mb=0; z_mb=20; enc_mb=10; cs_mb=10
  wine_mails=200; wine_read_mb=10
else
  mail_counts="100 1000 10000 100000"; news_counts="100 10000"; read_mb=100; news_mb=100; big_news_mb=1024; z_mb=100; enc_mb=100; cs_mb=50
  wine_mails=1000; wine_read_mb=100
fi

for tool in /usr/bin/time compress uncompress base64 uuencode uudecode iconv cmake; do
  command -v "$tool" >/dev/null || { echo "run-all: $tool is needed" >&2; exit 1; }
done

build=$root/build-bench-all
echo "building Release in $build ..." >&2
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DBREM_BENCH=ON -DBREM_SANITIZE=OFF -DBREM_TESTS=OFF \
  -DBREM_WINDOWS=OFF >/dev/null
cmake --build "$build" -j2 --target brem32 zorpack bench_import_bench bench_news_gen bench_news_file \
  bench_encode bench_charset >/dev/null
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

# --- IMPMAIL over spools of many waiting mails, beside cat of the same bytes
cd "$work"
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

# --- zorpack beside ncompress
"$bin/bench_news_gen" text $((z_mb * 1000000)) text
zbytes=$(stat -c %s text)
timed "$bin/zorpack" -fk -b 16 text
t_z=$secs; p_z=$peak
wall sh -c 'compress -f -c -b 16 < text > text.Z'
same="output differs from compress"
cmp -s text.z text.Z && same="output identical"
row "zorpack -b 16 compress" "$(human "$zbytes")" "$(mbs "$zbytes" "$t_z")" "compress $(mbs "$zbytes" "$secs")" \
  "$(ratio "$t_z" "$secs")" "$(mem "$p_z")" ">= 1.5x"
notes+=("zorpack -b 16: $same.")
mv text.z x.z
timed "$bin/zorpack" -d -f -b 16 x
t_z=$secs; p_z=$peak
wall sh -c 'uncompress -c < text.Z > y'
cmp -s x text || notes+=("zorpack -d: expansion DIFFERS from the original.")
row "zorpack -d" "$(human "$zbytes")" "$(mbs "$zbytes" "$t_z")" "uncompress $(mbs "$zbytes" "$secs")" \
  "$(ratio "$t_z" "$secs")" "$(mem "$p_z")" ">= 1.5x"
rm -f text text.Z x y

# --- the coders, through their own benchmark scripts; the figures are read
# from what they print (a label, then seconds), each row looked for by its
# label so that added or reordered rows do no harm.
# seconds_of LABEL FILE: the first number followed by " s" on the first line
# that holds LABEL, blanks and then a number.
seconds_of() {
  awk -v l="$1" 'index($0, l) == 1 {
      rest = substr($0, length(l) + 1)
      if (rest !~ /^ +[0-9]/) next
      if (match(rest, /[0-9]+(\.[0-9]+)? *s( |$)/)) { v = substr(rest, RSTART, RLENGTH); sub(/ *s.*/, "", v); print v; exit }
    }' "$2"
}
coder() {  # coder LABEL PEER-LABEL FILE BYTES TARGET PEAK-KB
  local ours peer
  ours=$(seconds_of "$1" "$3"); peer=$(seconds_of "$2" "$3")
  if [ -z "$ours" ] || [ -z "$peer" ]; then
    row "$1" "$(human "$4")" "not reported" "-" "-" "$(mem "$6")" "$5"
    return
  fi
  row "$1" "$(human "$4")" "$(mbs "$4" "$ours")" "$2 $(mbs "$4" "$peer")" "$(ratio "$ours" "$peer")" "$(mem "$6")" "$5"
}
echo "running bench/run-encode.sh $enc_mb ..." >&2
enc_out=$work/encode.txt
if ! bash "$root/bench/run-encode.sh" "$enc_mb" >"$enc_out" 2>&1; then
  notes+=("bench/run-encode.sh failed: $(tail -1 "$enc_out")")
fi
grep -qi "differs" "$enc_out" && notes+=("run-encode.sh: $(grep -i differs "$enc_out" | head -1)")
# Peak memory of each coder on input of the same size, by a run of its own.
head -c $((enc_mb * 1024 * 1024)) /dev/urandom >data.bin
ebytes=$(stat -c %s data.bin)
timed "$bin/bench_encode" mimeencode data.bin data.mime; m_enc=$peak
{ printf 'Subject: bench\n'; cat data.mime; } >msg.txt
timed "$bin/bench_encode" mimedecode msg.txt back.bin; m_dec=$peak
timed "$bin/bench_encode" uu data.bin data.enc; m_uue=$peak
rm -f back.bin
timed "$bin/bench_encode" uu data.enc back.bin; m_uud=$peak
rm -f data.* msg.txt back.bin
coder "MIMEDECODE" "base64 -d" "$enc_out" "$ebytes" ">= 2x" "$m_dec"
coder "MIMEENCODE" "base64" "$enc_out" "$ebytes" ">= 2x" "$m_enc"
coder "UUENCODE (decode)" "sharutils uudecode" "$enc_out" "$ebytes" ">= 2x" "$m_uud"
coder "UUENCODE (encode)" "sharutils uuencode" "$enc_out" "$ebytes" ">= 2x" "$m_uue"

echo "running bench/run-charset.sh $cs_mb ..." >&2
cs_out=$work/charset.txt
if ! bash "$root/bench/run-charset.sh" "$cs_mb" >"$cs_out" 2>&1; then
  notes+=("bench/run-charset.sh failed: $(tail -1 "$cs_out")")
fi
grep -qi "differs" "$cs_out" && notes+=("run-charset.sh: $(grep -i differs "$cs_out" | head -1)")
head -c $((cs_mb * 1000000)) /dev/urandom | tr '\000-\037=' 'a-zA-Z0-9 ' | fold -w 70 >iso.txt
cbytes=$(stat -c %s iso.txt)
mkdir -p cs && timed "$bin/bench_charset" iso.txt cs; m_cs=$peak
rm -rf iso.txt cs
coder "DECODE_ISO (8-bit text)" "iconv -f ISO-8859-1 -t CP850" "$cs_out" $((cs_mb * 1000000)) ">= 2x" "$m_cs"

# --- the Windows build under Wine beside the native one (for information)
if [ $wine_too = 1 ]; then
  if command -v wine >/dev/null && command -v i686-w64-mingw32-g++ >/dev/null; then
    wbuild=$root/build-bench-win
    echo "building brem32.dll in $wbuild ..." >&2
    cmake -S "$root" -B "$wbuild" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-i686.cmake" \
      -DCMAKE_BUILD_TYPE=Release -DBREM_TESTS=OFF -DBREM_WINDOWS=OFF >/dev/null
    cmake --build "$wbuild" -j2 --target brem32 brem32_importlib >/dev/null
    i686-w64-mingw32-g++ -O2 -std=c++17 -I"$root/include" "$root/bench/import_bench.cpp" \
      "$wbuild/lib/libbrem32.dll.a" -static -o "$wbuild/bin/import_bench.exe"
    export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
    wine "$wbuild/bin/import_bench.exe" >/dev/null 2>&1 || true  # starts the Wine server
    rm -rf mail
    timed wine "$wbuild/bin/import_bench.exe" mail mail "$wine_mails" 3000
    read -r wb wt <"$work/out"
    rm -rf mail
    timed "$bin/bench_import_bench" mail mail "$wine_mails" 3000
    read -r nb nt <"$work/out"
    row "IMPMAIL, $wine_mails waiting, Wine" "$(human "$wb")" "$(mbs "$wb" "$wt")" "native $(mbs "$nb" "$nt")" \
      "$(ratio "$wt" "$nt")" "-" "(info)"
    rm -rf mail read
    timed wine "$wbuild/bin/import_bench.exe" read read "$wine_read_mb"
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
    echo "time over ours (above 1: we are faster). Figures are single wall-clock runs on a machine that"
    echo "others share, so they move by tens of percent between runs. Peak memory is the maximum resident"
    echo "set of the process doing the work (/usr/bin/time -v), for IMPMAIL including the setup that"
    echo "writes the spool."
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

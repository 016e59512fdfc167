#!/usr/bin/env bash
# DECODE_ISO and WRITEQUOTED on a 50 MB ISO-8859-1 text, beside
# `iconv -f ISO-8859-1 -t CP850` of the same text, in one run.
#   bench/run-charset.sh [MEGABYTES]
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
mb=${1:-50}
build=$here/build-bench-charset
cmake -S "$here" -B "$build" -DCMAKE_BUILD_TYPE=Release -DBREM_BENCH=ON -DBREM_SANITIZE=OFF -DBREM_TESTS=OFF \
  -DBREM_WINDOWS=OFF > /dev/null
cmake --build "$build" -j2 --target bench_charset > /dev/null
work=$(mktemp -d "${TMPDIR:-/tmp}/brem-bench-charset-XXXXXX")
trap 'rm -rf "$work"' EXIT

# Western European text with accented letters on every line, no '=' (so that
# the 8-bit text is also valid input to the decoder) and none of the bytes the
# display conversion blanks, so that both outputs must agree byte for byte.
python3 - "$work/text.iso" "$mb" <<'PY'
import sys, random
random.seed(7)
words = [w.encode('latin-1') for w in (
    'Grüße aus Köln café résumé naïve garçon Ærø smørrebrød Ålesund déjà vu '
    'the quick brown fox jumps over the lazy dog mañana señor über straße '
    'è à ù ì ò ÿ Ç É Ñ Ö Ü ½ ¼ £ © ® ° ± µ ¶ · » «').split()]
target = int(sys.argv[2]) * 1000 * 1000
out, size = [], 0
while size < target:
    line = b' '.join(random.choice(words) for _ in range(random.randint(4, 14))) + b'\n'
    out.append(line)
    size += len(line)
open(sys.argv[1], 'wb').write(b''.join(out)[:target])
PY
size=$(stat -c %s "$work/text.iso")
echo "input: $size bytes of ISO-8859-1 text ($(nproc) cores, shared)"
echo

start=$(date +%s.%N)
iconv -f ISO-8859-1 -t CP850 < "$work/text.iso" > "$work/iconv.850"
end=$(date +%s.%N)
awk -v s="$start" -v e="$end" -v b="$size" \
  'BEGIN { printf "%-34s %8.3f s  %8.1f MB/s\n", "iconv -f ISO-8859-1 -t CP850", e - s, b / 1e6 / (e - s) }'
"$build/bin/bench_charset" "$work/text.iso" "$work"

echo
cmp -s "$work/iconv.850" "$work/decoded.850" && echo "DECODE_ISO output equals iconv's" || echo "DECODE_ISO output DIFFERS from iconv's"
cmp -s "$work/iconv.850" "$work/quoted.850" && echo "WRITEQUOTED then DECODE_ISO equals iconv's" || echo "WRITEQUOTED then DECODE_ISO DIFFERS from iconv's"
echo "quoted-printable size: $(stat -c %s "$work/quoted.qp") bytes"

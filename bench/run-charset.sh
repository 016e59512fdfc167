#!/usr/bin/env bash
# DECODE_ISO on an ISO-8859-1 text beside `iconv -f ISO-8859-1 -t CP850` of
# the same text, in one run (interleaved, best of three), and WRITEQUOTED
# then DECODE_ISO giving the same bytes back.
#   bench/run-charset.sh [BUILD_DIR [SIZE_MB]]
# BUILD_DIR (default build-bench) is configured as a Release build when it is
# not one yet; SIZE_MB defaults to 50. Prints the lines of bench/pairs.sh:
# DECODE_ISO; then a line "# ..." for each check that fails.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath -m "${1:-$here/build-bench}")
mb=${2:-50}
. "$here/bench/pairs.sh"
bench_build "$build" bench_charset
command -v iconv >/dev/null || { echo "iconv is needed" >&2; exit 1; }
work=$(bench_workdir brem-bench-charset)
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
target = int(sys.argv[2]) * 1024 * 1024
out, size = [], 0
while size < target:
    line = b' '.join(random.choice(words) for _ in range(random.randint(4, 14))) + b'\n'
    out.append(line)
    size += len(line)
open(sys.argv[1], 'wb').write(b''.join(out)[:target])
PY
cd "$work"
bench=$build/bin/bench_charset
pair_header
pair DECODE_ISO "$mb" iconv - "$bench decode text.iso decoded.850" iconv.850 "iconv -f ISO-8859-1 -t CP850 text.iso"
cmp -s iconv.850 decoded.850 || echo "# DECODE_ISO output differs from iconv's"
"$bench" quote text.iso quoted.qp && "$bench" decode quoted.qp quoted.850
cmp -s iconv.850 quoted.850 || echo "# WRITEQUOTED then DECODE_ISO differs from iconv's"

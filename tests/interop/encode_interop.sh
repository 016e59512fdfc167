#!/usr/bin/env bash
# The content encodings against real tools: Python's email package, mpack's
# munpack and mpack, GNU sharutils' uuencode and uudecode, and uudeview's
# uuenview (XX). Every check compares bytes.
#   tests/interop/encode_interop.sh PATH-TO-brem
set -euo pipefail
brem=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
for tool in munpack mpack uuencode uudecode uuenview python3; do
  command -v "$tool" >/dev/null || { echo "missing $tool"; exit 1; }
done
work=$(mktemp -d "${TMPDIR:-/tmp}/brem-interop-XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work"
failures=0
check() {  # check WHAT FILE-A FILE-B
  if cmp -s "$2" "$3"; then echo "ok   $1"; else echo "FAIL $1"; failures=$((failures + 1)); fi
}

# Samples: empty, one byte, a full line's worth, an uneven tail, and binary
# data with every byte value.
: > s0.bin
printf 'x' > s1.bin
head -c 45 /dev/urandom > s45.bin
head -c 46 /dev/urandom > s46.bin
python3 -c 'import sys; sys.stdout.buffer.write(bytes(range(256)) * 97 + b"\r\n\x1a tail")' > sall.bin
head -c 70000 /dev/urandom > srand.bin
samples="s0 s1 s45 s46 sall srand"

echo "== MIMEENCODE -> munpack and Python's email package"
for s in $samples; do
  "$brem" encode-attachment $s.bin $s.mime --name $s.out >/dev/null
  { printf 'From: a@b\nTo: c@d\nSubject: %s\nMIME-Version: 1.0\n' "$s"; cat $s.mime; } > $s.msg
  mkdir -p unpack-$s
  (cd unpack-$s && munpack -q ../$s.msg >/dev/null 2>&1 || true)
  if [ -s $s.bin ]; then check "munpack $s" $s.bin unpack-$s/$s.out; fi
  python3 - $s.msg $s.py.out <<'PY'
import email, sys
msg = email.message_from_binary_file(open(sys.argv[1], 'rb'))
open(sys.argv[2], 'wb').write(msg.get_payload(decode=True) or b'')
PY
  check "python email $s" $s.bin $s.py.out
done

echo "== MIMEDECODE <- messages of Python's email package and of mpack"
# The attachment is named in its Content-Type line, as mpack and most mailers
# do; a message that names no attachment at all gives its output up for the
# working file of the current directory.
for s in s1 s46 sall srand; do
  python3 - $s.bin $s.pymsg <<'PY'
import sys
from email.message import EmailMessage
m = EmailMessage()
m['From'] = 'writer@example.org'
m['To'] = 'reader@example.org'
m['Subject'] = 'attachment'
m.set_content('Hello,\nthe file is attached.\n')
m.add_attachment(open(sys.argv[1], 'rb').read(), maintype='application', subtype='octet-stream',
                 filename='data.bin', params={'name': 'data.bin'})
open(sys.argv[2], 'wb').write(bytes(m))
PY
  "$brem" extract-attachment $s.pymsg $s.from-py >/dev/null
  check "python message $s" $s.bin $s.from-py
  mpack -s attachment -o $s.mpmsg $s.bin
  "$brem" extract-attachment $s.mpmsg $s.from-mpack >/dev/null
  check "mpack message $s" $s.bin $s.from-mpack
done

echo "== UUENCODE -> GNU uudecode"
for s in $samples; do
  mkdir -p uu-$s
  cp $s.bin uu-$s/$s.dat
  (cd uu-$s && "$brem" uuencode $s.dat --name $s.gnu >/dev/null </dev/null && uudecode $s.enc)
  check "uudecode $s" $s.bin uu-$s/$s.gnu
done

echo "== UUENCODE <- GNU uuencode (.uue)"
for s in $samples; do
  uuencode $s.bin $s.orig > $s.uue
  "$brem" uudecode $s.uue --out $s.from-gnu > $s.log
  check "GNU uuencode $s" $s.bin $s.from-gnu
done

echo "== UUENCODE <- uuenview's XX encoding, with a table block"
xxtable='table
+-0123456789ABCDEFGHIJKLMNOPQRST
UVWXYZabcdefghijklmnopqrstuvwxyz'
for s in s1 s46 sall srand; do
  uuenview -x $s.bin > $s.raw.xxe 2>/dev/null
  if ! grep -q '^table' $s.raw.xxe; then { printf '%s\n' "$xxtable"; cat $s.raw.xxe; } > $s.xxe; else cp $s.raw.xxe $s.xxe; fi
  "$brem" uudecode $s.xxe --out $s.from-xx > $s.xx.log
  check "uuenview -x $s" $s.bin $s.from-xx
done

echo
if [ "$failures" -ne 0 ]; then echo "$failures interop check(s) failed"; exit 1; fi
echo "all interop checks passed"

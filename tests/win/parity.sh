#!/usr/bin/env bash
# The same scenario through brem with libbrem32.so and through brem.exe with
# brem32.dll under Wine must leave the same bytes on disk: every file of the
# two trees is compared; in the logs only the stamps and the root directory
# are masked. A difference prints the file and a hexdump of the first bytes
# that differ.
#   tests/win/parity.sh NATIVE-BREM WIN-BIN-DIR DEMO-DIR
set -euo pipefail
native=$1 winbin=$2 demo=$3
export WINEDEBUG=${WINEDEBUG:--all} WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
# The loader of the build's width, as tests/win/wine.sh run gives it.
wine=${BREM_WINE:-wine}
work=$(mktemp -d "${TMPDIR:-/tmp}/brem-parity-XXXXXX")
trap '[ -n "${BREM_KEEP_TEST_DIRS:-}" ] || rm -rf "$work"' EXIT

brem_native() { "$native" "$@"; }
brem_windows() { "$wine" "$winbin/brem.exe" "$@"; }

# put NAME BYTES (printf format): a file of the scenario's input.
put() { printf "$2" > "$1"; }

# The scenario, run in an empty root directory with relative paths only.
scenario() {
  local brem=$1
  mkdir spool store out encode

  # Mail: CR LF data with a 0x1A byte, over-long headers, no From.
  local long
  long=$(printf 'x%.0s' $(seq 1 300))
  put spool/0C0011.X 'U uucp hubsite\nF D.hubsiteA0011\nI D.hubsiteA0011\nC rmail anna@mybox.example\n'
  put spool/0A0011.D 'From: bert@hub.example\r\nSubject: line ends\r\n\r\nfirst\r\nstop \032 here\r\nlast\r\n'
  put spool/0C0012.X "U uucp hubsite\nF D.hubsiteA0012\nI D.hubsiteA0012\nC rmail $long@mybox.example\n"
  put spool/0A0012.D "From: $long <c@hub.example>\nSubject: $long\nDate: $long\nMessage-ID: <$long>\nCc: $long\n\nbody\n"
  put spool/0C0013.X 'U uucp hubsite\nF D.hubsiteA0013\nI D.hubsiteA0013\nC rmail dora@mybox.example\n'
  put spool/0A0013.D 'Subject: nobody sent this\n\nno From line\n'
  $brem import-mail spool store --neighbour hubsite --local-site mybox --verbosity 5 >/dev/null

  # News: a compressed and a plain batch into several areas.
  cp "$demo"/spool/0C0005.X "$demo"/spool/0N0005.D "$demo"/spool/0C0006.X "$demo"/spool/0N0006.D spool/
  cp "$demo"/store/area.dat store/
  $brem import-news spool store --neighbour hubsite --local-site mybox --verbosity 5 --bits 16 >/dev/null
  $brem import-news spool store --neighbour hubsite --local-site mybox --verbosity 5 >/dev/null

  # A mail delivered as a UUCP's rmail delivers it, and the store's mail out
  # to an mbox mailbox under its locks.
  printf 'From bert Mon Oct  6 21:14:02 1997 remote from hubsite\nFrom: bert@hub.example\nSubject: by rmail\n\nhello\n' |
    $brem rmail --store store anna@mybox.example
  $brem export-mbox store out/mail.mbox >/dev/null

  # Exports: mail, news plain and news compressed.
  put out/mail.txt 'From: me@mybox\nTo: friend@far.example\nSubject: parity\n\nThe same on both.\n'
  put out/a1.txt 'Newsgroups: local.test\nFrom: me@mybox\nSubject: one\n\nFirst.\n'
  put out/a2.txt 'Newsgroups: local.test\nFrom: me@mybox\nSubject: two\n\nSecond.\n'
  $brem export-mail spool store --to friend@far.example --local-site mybox --from me@mybox out/mail.txt >/dev/null
  $brem export-news spool store --local-site mybox out/a1.txt out/a2.txt >/dev/null
  $brem export-news spool store --local-site mybox --bits 16 out/a1.txt out/a2.txt >/dev/null

  # The writers: WRITEMESSAGE, WRITEMFORM, WRITEUUCP, and an attachment.
  put out/reply.txt 'To: bert@hub.example\r\nSubject: Re: line ends\r\n\r\nGot it.\r\n'
  put out/form.txt "A form letter line that runs on well past the eightieth column of the screen, so it breaks after a blank.\r\n"
  $brem write-message store 0 out/reply.txt >/dev/null
  $brem write-message store 7 out/form.txt --wrap >/dev/null
  $brem write-message --file out/uucp.txt out/reply.txt >/dev/null
  put out/note.txt 'Gr\374\337e aus K\366ln = caf\351 \n'
  $brem attach spool out/note.txt note.txt --hold >/dev/null

  # The coders.
  $brem quote out/note.txt out/note.qp >/dev/null
  $brem decode-iso out/note.qp out/note.850 >/dev/null
  (
    cd encode
    put report.bin 'Attachment \001\002\003 with a tail long enough for more than one line of base64.\n'
    $brem encode-attachment report.bin report.mime >/dev/null
    { printf 'From: w\nSubject: r\nMIME-Version: 1.0\n'; cat report.mime; printf '\n'; } > message.txt
    $brem extract-attachment message.txt extracted.bin >/dev/null
    head -c 3000 /dev/zero | tr '\0' 'y' > big.dat
    printf '\n' | $brem uuencode big.dat --part-size 1 --name big.dat >/dev/null
    $brem uudecode big.enc --out copy.dat >/dev/null
  )
}

mkdir "$work/linux" "$work/windows"
# Each step must succeed (set -e holds inside the subshells).
for side in linux windows; do
  set +e
  (cd "$work/$side" && set -e && scenario "brem_$([ $side = linux ] && echo native || echo windows)")
  rc=$?
  set -e
  [ $rc -eq 0 ] || { echo "FAIL: a step of the scenario failed ($side)"; exit 1; }
done

# The logs with their stamps and the root directory (in either spelling)
# masked.
mask() {
  local root=$1 file=$2
  local winroot
  winroot=$(printf 'Z:%s' "$root" | tr / '\\')
  ROOT=$root WINROOT=$winroot perl -pe 's/^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d\d/STAMP/; s/\Q$ENV{WINROOT}\E/ROOT/gi; s/\Q$ENV{ROOT}\E/ROOT/g' "$file"
}

status=0 files=0
names=$( (cd "$work/linux" && find . -type f; cd "$work/windows" && find . -type f) | sort -u)
for name in $names; do
  a="$work/linux/$name" b="$work/windows/$name"
  if [ ! -f "$a" ] || [ ! -f "$b" ]; then
    echo "FAIL: ${name#./} exists only $([ -f "$a" ] && echo natively || echo under Wine)"; status=1; continue
  fi
  files=$((files + 1))
  case $name in
    *.log) mask "$work/linux" "$a" > "$work/a.masked"; mask "$work/windows" "$b" > "$work/b.masked"
           a="$work/a.masked" b="$work/b.masked" ;;
  esac
  if ! cmp -s "$a" "$b"; then
    # cmp names the first differing byte (1-based), or says that one file
    # is a prefix of the other: then the first byte past the shorter one.
    at=$(cmp "$a" "$b" 2>/dev/null | awk '{print $5}' | tr -d , || true)
    at=${at:-$(( $(stat -c %s "$a") < $(stat -c %s "$b") ? $(stat -c %s "$a") + 1 : $(stat -c %s "$b") + 1 ))}
    from=$(( at > 16 ? at - 17 : 0 ))
    echo "FAIL: ${name#./} differs from byte $at on (native $(stat -c %s "$a"), Wine $(stat -c %s "$b") bytes)"
    echo "  native:"; od -A d -t x1z -j "$from" -N 48 "$a" | sed 's/^/    /'
    echo "  Wine:";   od -A d -t x1z -j "$from" -N 48 "$b" | sed 's/^/    /'
    status=1
  fi
done
[ $status -eq 0 ] && echo "ok: $files files byte-identical natively and under Wine"
exit $status

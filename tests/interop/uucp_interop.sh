#!/usr/bin/env bash
# brem as the rmail and rnews of Debian's UUCP (Taylor UUCP): a configuration
# of its own in a scratch directory whose rmail and rnews run brem, mail and
# news jobs put into its spool as a neighbour's transfer leaves them, uuxqt
# run over them. The store then holds every mail and every article byte for
# byte, and a job whose store is busy waits in the UUCP's spool until the
# next uuxqt delivers it, once.
#   tests/interop/uucp_interop.sh PATH-TO-brem
# Exits 77 (skipped) when uuxqt is not installed (Debian: apt install uucp).
set -euo pipefail
bin=$(cd "$(dirname "$1")" && pwd)
data=$(cd "$(dirname "$0")/../data" && pwd)
uuxqt=$(command -v uuxqt || echo /usr/sbin/uuxqt)
[ -x "$uuxqt" ] || { echo "skipped: uuxqt (Debian's uucp package) is not installed"; exit 77; }
work=$(mktemp -d "${TMPDIR:-/tmp}/brem-uucp-XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir -p "$work"/{spool,pub,lock,bin,store}

# uuxqt started by root runs its commands as the uucp user, who may not reach
# the build tree: brem, its library and zorpack go into the scratch tree.
cp "$bin/brem" "$bin/zorpack" "$work/bin/"
cp -P "$bin"/libbrem32.so* "$work/bin/"
# The copy of uuxqt is not setuid: it runs as the caller, root in CI (who
# then hands the commands to uucp) or an ordinary user.
cp "$uuxqt" "$work/uuxqt"
cat > "$work/config" <<EOF
nodename mybox
spool $work/spool
pubdir $work/pub
lockdir $work/lock
logfile $work/Log
statfile $work/Stats
debugfile $work/Debug
sysfile $work/sys
portfile $work/port
dialfile $work/dial
callfile $work/call
passwdfile $work/passwd
EOF
touch "$work"/{port,dial,call,passwd}
cat > "$work/sys" <<EOF
system hubsite
commands rmail rnews
command-path $work/bin
EOF
for verb in rmail rnews; do
  cat > "$work/bin/$verb" <<EOF
#!/bin/sh
LD_LIBRARY_PATH=$work/bin exec $work/bin/brem $verb --store $work/store --wait \${BREM_WAIT:-2} "\$@"
EOF
  chmod +x "$work/bin/$verb"
done
printf 'rec.arts.movies\n3\ncomp.dcom.modems\n5\n' > "$work/store/area.dat"

# The jobs, as a neighbour's transfer leaves them in Taylor's spool layout.
job() {  # job SEQ COMMAND DATA-FILE
  local x="$work/spool/hubsite/X./X.hubsiteX$1" d="$work/spool/hubsite/D./D.hubsiteA$1"
  mkdir -p "$(dirname "$x")" "$(dirname "$d")"
  cp "$3" "$d"
  printf 'U uucp hubsite\nF D.hubsiteA%s\nI D.hubsiteA%s\nC %s\n' "$1" "$1" "$2" > "$x"
}
mkdir -p "$work/jobs"
printf 'From bert Mon Oct  6 21:14:02 1997 remote from hubsite\nFrom: Bert <bert@hubsite.example>\nTo: anna@mybox.example\nSubject: Dinner\n\nOn Friday?\nFrom the harbour, seven.\n' > "$work/jobs/mail1"
python3 -c 'import sys; sys.stdout.buffer.write(b"From: Carl <carl@far.example>\nSubject: bytes\n\n" + bytes(range(1, 256)) + b"\nend\n")' > "$work/jobs/mail2"
{ a='From: ed@peer.example
Newsgroups: comp.dcom.modems
Subject: Line noise
Message-ID: <n1@peer.example>

Try ATS10=20.
'; printf '#! rnews %d\n%s' "${#a}" "$a"; } > "$work/jobs/batch"
job 0001 "rmail anna@mybox.example" "$work/jobs/mail1"
job 0002 "rmail anna@mybox.example carl" "$work/jobs/mail2"
job 0003 "rnews" "$work/jobs/batch"
job 0004 "rnews" "$data/news_cunbatch16.D"
tail -c +13 "$data/news_cunbatch16.D" | gzip -dc > "$work/jobs/expanded"

run_uuxqt() {
  [ "$(id -u)" -ne 0 ] || chown -R uucp:uucp "$work"
  "$work/uuxqt" -I "$work/config"
}

# First a busy store: another run holds its lock, so the first mail waits.
python3 - "$work/store/brem.lck" "$work/held" <<'PY' &
import fcntl, sys, time
f = open(sys.argv[1], 'a')
fcntl.lockf(f, fcntl.LOCK_EX)
open(sys.argv[2], 'w').close()
time.sleep(600)
PY
holder=$!
while [ ! -e "$work/held" ]; do sleep 0.1; done
[ "$(id -u)" -ne 0 ] || chown -R uucp:uucp "$work"
"$work/uuxqt" -I "$work/config" -c rmail
kill "$holder"; wait "$holder" 2>/dev/null || true
grep -q 'Will retry later' "$work/Log" || { echo "FAIL: a busy store did not make uuxqt keep the job"; cat "$work/Log"; exit 1; }
[ ! -e "$work/store/mail.hdr" ] || { echo "FAIL: something was stored while the store was held"; exit 1; }
echo "ok   a busy store: uuxqt keeps the mail jobs for another try"

run_uuxqt
cat "$work/Log"
if grep -q 'Execution failed\|Will retry later (X.hubsiteX000[34])' "$work/Log"; then
  echo "FAIL: uuxqt reports a failed delivery"; exit 1
fi
left=$(find "$work/spool" -type f -path '*/hubsite/*' | wc -l)
[ "$left" -eq 0 ] || { echo "FAIL: $left files left in the UUCP's spool"; find "$work/spool" -type f; exit 1; }

# Every mail and every article is in the store byte for byte, once.
python3 - "$work/store" "$work/jobs" <<'PY'
import os, sys
store, jobs = sys.argv[1:3]
read = lambda *p: open(os.path.join(*p), 'rb').read()
lines = read(store, 'mail.hdr').split(b'\r\n')[:-1]
area = read(store, 'mailarea.txt')
mails = {area[int(r[6]):int(r[7])]: r[0] for r in (lines[i:i + 8] for i in range(0, len(lines), 8))}
want = {read(jobs, 'mail1'): b'To: anna@mybox.example', read(jobs, 'mail2'): b'To: anna@mybox.example carl'}
assert mails == want, mails
def articles(batch):
    out = []
    while batch:
        head, _, rest = batch.partition(b'\n')
        n = int(head.split()[2])
        out.append(rest[:n]); batch = rest[n:]
    return out
# comp.dcom.modems is area 5, rec.arts.movies area 3 (both articles of the
# compressed batch name it); the first article of an area starts at 1.
assert read(store, 'area5.txt')[1:] == b''.join(articles(read(jobs, 'batch'))), read(store, 'area5.txt')
assert read(store, 'area3.txt')[1:] == b''.join(articles(read(jobs, 'expanded'))), read(store, 'area3.txt')
print('ok   the store holds both mails (their To lines those of the jobs) and the three articles, byte for byte')
PY
echo "uucp interop: ok"

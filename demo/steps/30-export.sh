# Step: an outgoing mail and an outgoing news batch become UUCP jobs in the
# spool. Sourced by run-demo.sh with $brem (the command) and $work (spool/ and
# store/ inside) set.
cat > "$work/outgoing.txt" <<'MAIL'
From: me@mybox
To: friend@far.example
Subject: see you at the meeting

Thursday at eight.
MAIL

echo "== brem export-mail (site mybox, to friend@far.example)"
"$brem" export-mail "$work/spool" "$work/store" --to friend@far.example --local-site mybox --from me@mybox \
  "$work/outgoing.txt"
mailjob=$(od -An -tu4 "$work/store/export.dat" | tr -d ' ')
mailjob=$(printf %04d "$mailjob")

echo
echo "== $mailjob.CMD (^M\$ marks CR LF) and $mailjob.XQT (\$ marks a bare LF)"
cat -A "$work/spool/$mailjob.CMD"
cat -A "$work/spool/$mailjob.XQT"
echo "-- $mailjob.DAT is the message itself:"
cat "$work/spool/$mailjob.DAT"

cat > "$work/article1.txt" <<'ART'
Newsgroups: local.test
From: me@mybox
Subject: first post

Hello, group.
ART
cat > "$work/article2.txt" <<'ART'
Newsgroups: local.test
From: me@mybox
Subject: second post

And again.
ART

echo
bindir=$(dirname "$brem")
if [ -x "$bindir/zorpack" ] || command -v zorpack >/dev/null 2>&1; then
  echo "== brem export-news, compressed with 16 bits (zorpack)"
  "$brem" export-news "$work/spool" "$work/store" --local-site mybox --bits 16 "$work/article1.txt" "$work/article2.txt"
  compressed=yes
else
  echo "== brem export-news, plain (no zorpack beside $brem)"
  "$brem" export-news "$work/spool" "$work/store" --local-site mybox "$work/article1.txt" "$work/article2.txt"
  compressed=no
fi
newsjob=$(printf %04d "$(od -An -tu4 "$work/store/export.dat" | tr -d ' ')")

echo
echo "== $newsjob.CMD and $newsjob.XQT of the news job (user \"news\", command rnews)"
cat -A "$work/spool/$newsjob.CMD"
cat -A "$work/spool/$newsjob.XQT"
if [ "$compressed" = yes ]; then
  echo "-- $newsjob.DAT begins with:"
  head -c 12 "$work/spool/$newsjob.DAT" | cat -A
  echo
  if command -v uncompress >/dev/null 2>&1; then
    echo "-- and the rest expands with uncompress to the batch:"
    tail -c +13 "$work/spool/$newsjob.DAT" | uncompress -c
  fi
else
  echo "-- $newsjob.DAT is the batch:"
  cat "$work/spool/$newsjob.DAT"
fi

echo
echo "== the spool's outgoing job files, and export.dat (the last number, four bytes little-endian)"
ls "$work/spool" | grep -E '^[0-9]{4}\.(CMD|XQT|DAT)$'
od -An -tx1 "$work/store/export.dat"

echo
echo "== news.log (export lines)"
tr -d '\r' < "$work/store/news.log" | grep -E 'export|Export|compress'

# Step: the store checked, its mail taken out to an mbox file that another
# mail tool reads (Python's mailbox module here), and read back into a new
# store. Sourced by run-demo.sh with $brem (the command) and $work (spool/
# and store/ inside) set.
echo "== brem check (the store and the spool; writes nothing)"
"$brem" check "$work/store" --spool "$work/spool"

echo
echo "== brem export-mbox (the UUCP envelope of a mail becomes its \"From \" line)"
"$brem" export-mbox "$work/store" "$work/mail.mbox"

echo
echo "== the mbox as Python's mailbox module reads it: every message with its Subject"
python3 - "$work/mail.mbox" <<'PY'
import mailbox, sys
box = mailbox.mbox(sys.argv[1])
print(len(box), "messages")
for key, m in box.items():
    print(" ", m.get_from(), "|", m["Subject"])
    assert m["Subject"] is not None, "a message whose header no reader finds"
PY

echo
echo "== brem import-mbox into a new store, twice (the second run finds them there)"
mkdir -p "$work/store2"
"$brem" import-mbox "$work/mail.mbox" "$work/store2"
"$brem" import-mbox "$work/mail.mbox" "$work/store2"
"$brem" export-mbox "$work/store2" "$work/again.mbox" >/dev/null
python3 - "$work/mail.mbox" "$work/again.mbox" <<'PY'
import mailbox, sys
a, b = (mailbox.mbox(p) for p in sys.argv[1:])
assert [a.get_bytes(k) for k in a.keys()] == [b.get_bytes(k) for k in b.keys()]
PY
echo "exported again: the same messages, byte for byte"

# Step: the store checked, its mail taken out to an mbox file that another
# mail tool reads (Python's mailbox module here), and read back into a new
# store. Sourced by run-demo.sh with $brem (the command) and $work (spool/
# and store/ inside) set.
echo "== brem check (the store and the spool; writes nothing)"
"$brem" check "$work/store" --spool "$work/spool"

echo
echo "== brem export-mbox"
"$brem" export-mbox "$work/store" "$work/mail.mbox"

echo
echo "== the mbox as Python's mailbox module reads it"
python3 - "$work/mail.mbox" <<'PY'
import mailbox, sys
box = mailbox.mbox(sys.argv[1])
print(len(box), "messages")
for key, m in box.items():
    print(" ", m.get_from(), "|", len(box.get_bytes(key)), "bytes")
PY

echo
echo "== brem import-mbox into a new store, twice (the second run finds them there)"
mkdir -p "$work/store2"
"$brem" import-mbox "$work/mail.mbox" "$work/store2"
"$brem" import-mbox "$work/mail.mbox" "$work/store2"
"$brem" export-mbox "$work/store2" "$work/again.mbox" >/dev/null
cmp "$work/mail.mbox" "$work/again.mbox" && echo "exported again: the same mbox, byte for byte"

# Step: mail import, listing, reading back. Sourced by run-demo.sh with
# $brem (the command) and $work (spool/ and store/ inside) set.
echo "== spool before import"
ls "$work/spool"

echo
echo "== brem import-mail (sites: hubsite, mybox)"
"$brem" import-mail "$work/spool" "$work/store" --neighbour hubsite --local-site mybox --verbosity 5

echo
echo "== spool after import (the news job stays for news import)"
ls "$work/spool"

echo
echo "== brem list-mail"
"$brem" list-mail "$work/store"

echo
echo "== every message read back by its address"
"$brem" list-mail "$work/store" | awk '/^#/ {print $3, $5}' | while read -r start length; do
  echo "---- area 0, start $start, length $length"
  "$brem" read "$work/store" 0 "$start" "$length" | tr -d '\r'
done

echo
echo "== the body of the first message alone (EXTRACTMESSAGE)"
first=$("$brem" list-mail "$work/store" | awk '/^#1 / {print $3, $5}')
"$brem" read "$work/store" 0 ${first% *} ${first#* } --reader extract | tr -d '\r'

echo
echo "== mail.log"
tr -d '\r' < "$work/store/mail.log"

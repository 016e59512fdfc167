# Step: news import, compressed and plain, and every article read back from
# its area. Sourced by run-demo.sh with $brem, $work and $here set.
echo "== area.dat of the store (newsgroup, then area number)"
cp "$here/store/area.dat" "$work/store/area.dat"
cat "$work/store/area.dat"

echo
echo "== brem import-news --bits 16 (0N0006.D arrives compressed; the plain 0N0005.D says so on its first line and is filed as plain)"
status=0
"$brem" import-news "$work/spool" "$work/store" --neighbour hubsite --local-site mybox --verbosity 3 --bits 16 \
  > "$work/news-records.txt" 2>&1 || status=$?
cat "$work/news-records.txt"
# 3 says that jobs are left in the spool, each listed with the reason.
echo "(exit status $status)"
[ "$status" -eq 0 ] || [ "$status" -eq 3 ]

echo
echo "== brem import-news (nothing is left: each batch was taken for what it is)"
"$brem" import-news "$work/spool" "$work/store" --neighbour hubsite --local-site mybox --verbosity 3 \
  | tee -a "$work/news-records.txt"

echo
echo "== spool after news import (the working files stay until the next batch)"
ls "$work/spool"

echo
echo "== every article read back from its area (READNEWS)"
awk '/^#/ {print $3, $5, $7}' "$work/news-records.txt" | while read -r area start length; do
  echo "---- area $area, start $start, length $length"
  "$brem" read "$work/store" "$area" "$start" "$length" --reader news | tr -d '\r'
done

echo
echo "== brem cycle (a whole inbound cycle: nothing is left to take)"
"$brem" cycle "$work/spool" "$work/store" --neighbour hubsite --local-site mybox

echo
echo "== news.log"
tr -d '\r' < "$work/store/news.log"

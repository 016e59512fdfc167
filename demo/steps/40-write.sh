# Step: the host's writers and file services. Sourced by run-demo.sh with
# $brem (the command) and $work (spool/ and store/ inside) set.
echo "== a reply written to the mail area (WRITEMESSAGE) and read back by its address"
printf 'To: writer@hubsite\r\nSubject: Re: hello\r\n\r\nThanks, it came through.\r\n' > "$work/reply.txt"
addr=$("$brem" write-message "$work/store" 0 "$work/reply.txt")
echo "$addr"
set -- $addr
"$brem" read "$work/store" 0 "$2" "$4" | tr -d '\r'

echo
echo "== a long line wrapped at the first blank past column 80 (WRITEMFORM), into a fresh area 7"
printf 'This line of a form letter runs on well past the eightieth column of the screen, so it breaks after a blank.\r\n' > "$work/form.txt"
addr=$("$brem" write-message "$work/store" 7 "$work/form.txt" --wrap)
echo "$addr"
set -- $addr
"$brem" read "$work/store" 7 "$2" "$4" | tr -d '\r'

echo
echo "== an attachment copied into the hold directory (FILEATTACH), twice: the second replaces the first"
printf 'Gr\xfc\xdfe aus K\xf6ln = caf\xe9 \n' > "$work/note.txt"
"$brem" attach "$work/spool" "$work/note.txt" note.txt --hold
"$brem" attach "$work/spool" "$work/note.txt" note.txt --hold
ls -l "$work/spool/hold" | awk 'NR > 1 {print $5, $9}'

echo
echo "== the note written as quoted-printable (WRITEQUOTED)"
"$brem" quote "$work/note.txt" "$work/note.qp"
cat "$work/note.qp"

echo
echo "== and decoded to code page 850 for a DOS screen (DECODE_ISO), shown by od -c"
"$brem" decode-iso "$work/note.qp" "$work/note.850"
od -An -c "$work/note.850" | head -3

echo
echo "== an output that names its own input is refused, and the input stays"
"$brem" quote "$work/note.txt" "$work/note.txt" || echo "(exit status $?)"
wc -c < "$work/note.txt"

# Step: content encodings. A file is made a MIME attachment and taken back
# out of a message, and UU-encoded into part files and decoded again.
# Sourced by run-demo.sh with $brem and $work set.
mkdir -p "$work/encode"
(
  cd "$work/encode"
  printf 'Attachment bytes \001\002\003 and a long enough tail to fill more than one line of base64.\n' > report.bin

  echo "== brem encode-attachment report.bin report.mime"
  "$brem" encode-attachment report.bin report.mime
  cat report.mime

  echo
  echo "== the attachment inside a message, taken out again (brem extract-attachment)"
  { printf 'From: writer\nSubject: the report\nMIME-Version: 1.0\n'; cat report.mime; printf '\n'; } > message.txt
  "$brem" extract-attachment message.txt extracted.bin
  cmp report.bin extracted.bin && echo "extracted.bin equals report.bin"

  echo
  echo "== brem uuencode (parts of 16 lines)"
  head -c 2000 /dev/zero | tr '\0' 'x' > big.dat
  # The answer comes from a here-string, not a pipe: a writer that loses the
  # race with brem's exit would die of SIGPIPE and fail the step.
  "$brem" uuencode big.dat --part-size 1 --name big.dat <<< ''
  ls big.e*
  printf 'ncode.dat: '; tr -d '\r' < ncode.dat

  echo
  echo "== brem uudecode big.enc (following the parts)"
  "$brem" uudecode big.enc --out copy.dat
  cmp big.dat copy.dat && echo "copy.dat equals big.dat"
)

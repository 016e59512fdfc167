# Sourced by the release checks. Every subsystem is checked: the package's
# header must declare the export the host calls for each one, so that a header
# that lost a declaration (or wrote it so that this test no longer sees it)
# fails here instead of leaving a subsystem quietly unchecked.
#   host_defines HEADER   sets $defines (-DBREM_HAS_<name> ...) or exits 1
host_defines() {
  local header=$1 n undeclared=""
  local host_subsystems="IMPNEWS EXPMAIL WRITEMESSAGE FILEATTACH DECODE_ISO MIMEENCODE UUENCODE BremGetConnectStatus"
  defines="-DBREM_HOST_SELECTED"
  for n in $host_subsystems; do
    if grep -Eq "BREM_API[[:space:]]+$n\(" "$header"; then defines="$defines -DBREM_HAS_$n"
    else undeclared="$undeclared $n"; fi
  done
  if [ -n "$undeclared" ]; then
    echo "the package's brem32.h declares no:$undeclared" >&2
    exit 1
  fi
  echo "host checks for every subsystem:$defines"
}

# Shared by the coder benchmarks (sourced, not run): builds the Release tree
# and times each operation beside its peer tool, interleaved, best of three.
#
# Every measured pair prints one tab-separated line:
#   operation  size_mb  ours_s  peer  peer_s  ratio  ours_cpu_s  peer_cpu_s  ours_peak_kb  peer_peak_kb
# ratio = peer_s / ours_s (above 1: ours is faster); the seconds are the best
# wall-clock time of three runs, the cpu seconds (user + system) the best of
# the same runs, the peak resident memory the largest of them. A header line
# starting with '#' comes first.

# bench_build BUILD_DIR TARGET...: configures BUILD_DIR as a Release build with
# the benchmarks when it is not one yet, and builds the targets.
bench_build() {
  local build=$1 root
  shift
  root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
  if [ ! -f "$build/CMakeCache.txt" ] || ! grep -q '^BREM_BENCH:BOOL=ON' "$build/CMakeCache.txt"; then
    cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DBREM_BENCH=ON -DBREM_SANITIZE=OFF \
      -DBREM_TESTS=OFF -DBREM_WINDOWS=OFF >/dev/null
  fi
  cmake --build "$build" -j2 --target "$@" >/dev/null
}

pair_header() {
  printf '# operation\tsize_mb\tours_s\tpeer\tpeer_s\tratio\tours_cpu_s\tpeer_cpu_s\tours_peak_kb\tpeer_peak_kb\n'
}

# _timed OUTVAR OUTFILE CMD...: runs CMD with its standard output going to
# OUTFILE (/dev/null when "-") under /usr/bin/time; sets OUTVAR to
# "wall cpu peak_kb".
_timed() {
  local var=$1 out=$2 tf
  shift 2
  [ "$out" = - ] && out=/dev/null
  tf=$(mktemp)
  /usr/bin/time -f '%e %U %S %M' -o "$tf" "$@" >"$out" 2>/dev/null </dev/null || true
  printf -v "$var" '%s' "$(awk 'END {printf "%s %.2f %s", $1, $2 + $3, $4}' "$tf")"
  rm -f "$tf"
}

# _best "wall cpu kb" "wall cpu kb": the best of each column (largest memory).
_best() {
  if [ -z "$1" ]; then echo "$2"; return; fi
  echo "$1 $2" | awk '{w = $1 < $4 ? $1 : $4; c = $2 < $5 ? $2 : $5; m = $3 > $6 ? $3 : $6; print w, c, m}'
}

# pair OPERATION SIZE_MB PEER_NAME OURS_OUT "OURS CMD" PEER_OUT "PEER CMD":
# each command line (split at blanks, no shell) runs three times,
# interleaved, its standard output going to its OUT file ("-": none); then
# the line above is printed.
pair() {
  local op=$1 mb=$2 peer=$3 ours_out=$4 ours_cmd=$5 peer_out=$6 peer_cmd=$7 o="" p="" r
  for _ in 1 2 3; do
    # shellcheck disable=SC2086
    _timed r "$ours_out" $ours_cmd; o=$(_best "$o" "$r")
    # shellcheck disable=SC2086
    _timed r "$peer_out" $peer_cmd; p=$(_best "$p" "$r")
  done
  echo "$op $mb $peer $o $p" | awk '{
    ratio = $4 > 0 ? $7 / $4 : 0
    printf "%s\t%s\t%.2f\t%s\t%.2f\t%.2f\t%.2f\t%.2f\t%s\t%s\n", $1, $2, $4, $3, $7, ratio, $5, $8, $6, $9 }'
}

# bench_workdir PREFIX: a fresh working directory, in memory (/dev/shm) where
# there is one, so that the figures are the coders' and not the disk's
# writeback; $TMPDIR when BENCH_ON_DISK=1.
bench_workdir() {
  local base=${TMPDIR:-/tmp}
  if [ "${BENCH_ON_DISK:-0}" != 1 ] && [ -d /dev/shm ] && [ -w /dev/shm ]; then base=/dev/shm; fi
  mktemp -d "$base/$1-XXXXXX"
}

#!/usr/bin/env bash
# A long fuzzing run over every target, whose finds are merged into the
# committed corpus.
#   scripts/fuzz-long.sh HOURS [target ...]
# Runs the targets (every fuzz/<name>.cpp unless named) for HOURS of wall
# time in all (a fraction is fine: 0.1 is six minutes), one per core
# ($BREM_FUZZ_PARALLEL) and each for the same share, from the seeds of
# fuzz/corpus/<name>/. A target that crashes is started again for the rest
# of its share, at most three times. Then libFuzzer's merge adds to
# fuzz/corpus/<name>/ only the inputs found that reach code the corpus did
# not, so the committed corpus grows by what adds coverage and nothing else.
# Coverage here means edges reached, not how often (-use_counters=0): the
# committed corpus stays small enough to be replayed in every test run, while
# the fuller one the fuzzer keeps stays in build-fuzz/long/found/<name>/ and
# is where the next long run goes on from.
# Prints per target the executions, the corpus size before and after, and
# every crash, hang or leak with its reproducer under
# build-fuzz/long/artifacts/<name>/. Exit status 1 when anything was found.
# Then the hostile-spool property test of the suite runs over many more
# generated spools than CI gives it (1000 and 10000 an hour, from a fresh
# seed, built with the sanitizers in build-hostile/; $BREM_HOSTILE_SPOOLS and
# $BREM_HOSTILE_SEED choose others), and its failures count as finds.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
if [ $# -lt 1 ] || ! [[ $1 =~ ^[0-9]*\.?[0-9]+$ ]]; then
  echo "usage: scripts/fuzz-long.sh HOURS [target ...]" >&2
  exit 2
fi
hours=$1
shift
build=${BREM_FUZZ_BUILD:-$root/build-fuzz}
parallel=${BREM_FUZZ_PARALLEL:-$(nproc)}
long=$build/long

CC=${CC_FUZZ:-clang} CXX=${CXX_FUZZ:-clang++} cmake -S fuzz -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j"${BREM_FUZZ_JOBS:-2}" >/dev/null

. fuzz/common.sh
fuzz_targets "$@"
for t in "${targets[@]}"; do
  if [ ! -x "$build/bin/fuzz_$t" ]; then
    echo "fuzz-long: no target $t" >&2
    exit 2
  fi
done

# Each target's share: the wall time times the cores, over the targets.
share=$(awk -v h="$hours" -v p="$parallel" -v n="${#targets[@]}" 'BEGIN { s = int(h * 3600 * p / n); print (s < 10 ? 10 : s) }')
echo "fuzz-long: ${#targets[@]} targets, ${share}s each, $parallel at a time"

count() { find "$1" -maxdepth 1 -type f 2>/dev/null | wc -l; }

# Fuzzes one target for its share into long/found/<target>/, then merges.
long_target() {
  local t=$1
  local bin=$build/bin/fuzz_$t
  local found=$long/found/$t artifacts=$long/artifacts/$t logs=$long/logs/$t
  rm -rf "$logs"
  mkdir -p "$found" "$artifacts" "$logs" "fuzz/corpus/$t"
  local dict=()
  [ -f "fuzz/$t.dict" ] && dict=(-dict="$root/fuzz/$t.dict")
  local before execs=0 runs=0 left=$share began=$SECONDS rc
  before=$(count "fuzz/corpus/$t")
  while [ "$left" -gt 0 ] && [ "$runs" -lt 4 ]; do
    runs=$((runs + 1))
    rc=0
    "$bin" "$found" "$root/fuzz/corpus/$t" "${dict[@]}" -max_total_time="$left" -timeout=10 \
      -rss_limit_mb=2048 -max_len=65536 -print_final_stats=1 -artifact_prefix="$artifacts/" \
      >"$logs/run$runs.log" 2>&1 || rc=$?
    execs=$((execs + $(sed -n 's/^stat::number_of_executed_units: *//p' "$logs/run$runs.log" | tail -1 | grep . || echo 0)))
    [ $rc -eq 0 ] && break
    left=$((share - (SECONDS - began)))
  done
  local took=$((SECONDS - began))
  # Only inputs reaching new edges go into the committed corpus.
  "$bin" -merge=1 -use_counters=0 -timeout=10 -rss_limit_mb=2048 "$root/fuzz/corpus/$t" "$found" >"$logs/merge.log" 2>&1 ||
    echo "fuzz-long: merging $t failed, see $logs/merge.log" >&2
  local after
  after=$(count "fuzz/corpus/$t")
  {
    printf '%-16s %12d execs %8d/s  corpus %5d -> %5d' "$t" "$execs" $((execs / (took > 0 ? took : 1))) \
      "$before" "$after"
    # Every reproducer written (crash-, timeout-, leak-, oom-...), with the
    # first line of its report.
    local found_any=0 log a
    for log in "$logs"/run*.log; do
      a=$(sed -n 's/.*Test unit written to \([^ ]*\).*/\1/p' "$log" | head -1)
      [ -n "$a" ] || continue
      [ $found_any -eq 0 ] && printf '  FOUND:'
      found_any=1
      printf '\n    %s: %s' "$a" "$(grep -hE 'ERROR|fuzz check failed|SUMMARY' "$log" | head -1)"
    done
    [ $found_any -eq 0 ] && printf '  nothing found'
    printf '\n'
  } >"$logs/result"
  [ $found_any -eq 0 ]
}

mkdir -p "$long"
status=0
run_pool long_target "$parallel" "${targets[@]}" || status=1

# The hostile spools: the same generator as the suite's, more of it.
hostile_build=${BREM_HOSTILE_BUILD:-$root/build-hostile}
hostile_spools=${BREM_HOSTILE_SPOOLS:-$(awk -v h="$hours" 'BEGIN { print 1000 + int(h * 10000) }')}
hostile_seed=${BREM_HOSTILE_SEED:-$(( (RANDOM << 15 | RANDOM) % 1000000000 ))}
hostile_result="hostile spools: $hostile_spools from seed $hostile_seed:"
if cmake -S . -B "$hostile_build" -DBREM_SANITIZE=ON -DBREM_WINDOWS=OFF >/dev/null &&
   cmake --build "$hostile_build" -j"${BREM_FUZZ_JOBS:-2}" --target hostile_spool_test zorpack >/dev/null; then
  if BREM_HOSTILE_SPOOLS=$hostile_spools BREM_HOSTILE_SEED=$hostile_seed \
     "$hostile_build/bin/hostile_spool_test" --gtest_filter='HostileSpool.NoSpool*' >"$long/hostile.log" 2>&1; then
    hostile_result="$hostile_result nothing found"
  else
    hostile_result="$hostile_result FOUND: see $long/hostile.log (rerun with BREM_HOSTILE_SEED)"
    status=1
  fi
else
  hostile_result="$hostile_result the test could not be built"
  status=1
fi

echo "fuzz-long summary (${hours} h; logs in $long/logs/):"
echo "  $hostile_result"
for t in "${targets[@]}"; do
  if [ -f "$long/logs/$t/result" ]; then
    sed 's/^/  /' "$long/logs/$t/result"
  else
    echo "  $t: no result"
    status=1
  fi
done
exit $status

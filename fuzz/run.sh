#!/usr/bin/env bash
# Builds the fuzz targets with clang and runs each for a bounded time.
#   fuzz/run.sh [seconds-per-target] [target ...]
# Without target names every fuzz/<name>.cpp is run, with the seeds of
# fuzz/corpus/<name>/ and the words of fuzz/<name>.dict when there is one.
# New inputs the fuzzer finds go to build-fuzz/corpus/<name>/, crashes to
# build-fuzz/artifacts/<name>/; the exit status is 1 when any target failed.
# $BREM_FUZZ_PARALLEL targets run at once (default 1: each is one process).
#
# How long each target runs: the seconds given, else $BREM_FUZZ_SECONDS
# each; else, with $BREM_FUZZ_BUDGET set, that many seconds of wall time in
# all, shared out over the targets and the parallel runs: a target that goes
# through files on disk (it uses the scratch directory of fuzz_support.h)
# gets twice the share of one that works on bytes in memory, which runs many
# times faster; a line "// smoke weight: N" in the target's source sets its
# share instead. Else 60 seconds each.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
secs=${BREM_FUZZ_SECONDS:-}
if [ $# -gt 0 ] && [[ $1 =~ ^[0-9]+$ ]]; then
  secs=$1
  shift
fi
budget=${BREM_FUZZ_BUDGET:-}
[ -z "$secs" ] && [ -z "$budget" ] && secs=60
build=${BREM_FUZZ_BUILD:-$root/build-fuzz}
jobs=${BREM_FUZZ_JOBS:-2}
parallel=${BREM_FUZZ_PARALLEL:-1}

CC=${CC_FUZZ:-clang} CXX=${CXX_FUZZ:-clang++} cmake -S fuzz -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j"$jobs" >/dev/null

. fuzz/common.sh
fuzz_targets "$@"

# The share of the budget a target gets: 2 through files, 1 in memory,
# unless its source says otherwise.
weight() {
  local w
  w=$(sed -n 's|^// smoke weight: *\([1-9][0-9]*\).*|\1|p' "fuzz/$1.cpp" 2>/dev/null | head -1)
  if [ -n "$w" ]; then
    echo "$w"
  elif grep -qE 'fuzz::(emptiedDir|workDir)' "fuzz/$1.cpp" 2>/dev/null; then
    echo 2
  else
    echo 1
  fi
}
declare -A seconds
if [ -n "$secs" ]; then
  for t in "${targets[@]}"; do seconds[$t]=$secs; done
else
  total=0
  for t in "${targets[@]}"; do total=$((total + $(weight "$t"))); done
  for t in "${targets[@]}"; do
    s=$((budget * parallel * $(weight "$t") / total))
    seconds[$t]=$((s < 5 ? 5 : s))
  done
  # The longer runs first, so that the short ones fill the gaps at the end.
  mapfile -t targets < <(for t in "${targets[@]}"; do echo "${seconds[$t]} $t"; done | sort -k1,1nr -k2 | cut -d' ' -f2)
fi

# Runs one target; its summary line goes to logs/<target>.result.
run_target() {
  local t=$1
  local secs=${seconds[$t]}
  local bin=$build/bin/fuzz_$t
  local result=$build/logs/$t.result
  if [ ! -x "$bin" ]; then
    echo "fuzz: no target $t" >&2
    echo "$t: FAILED, no such target" >"$result"
    return 1
  fi
  local corpus=$build/corpus/$t
  local artifacts=$build/artifacts/$t
  mkdir -p "$corpus" "$artifacts"
  local seeds=()
  [ -d fuzz/corpus/$t ] && seeds=("$root/fuzz/corpus/$t")
  local dict=()
  [ -f fuzz/$t.dict ] && dict=(-dict="$root/fuzz/$t.dict")
  local log=$build/logs/$t.log
  echo "fuzz: $t for ${secs}s"
  local rc=0
  # An input that runs over 10 seconds counts as a hang; LeakSanitizer
  # reports leaks, and the sanitizers stop at the first error.
  "$bin" "$corpus" "${seeds[@]}" "${dict[@]}" -max_total_time="$secs" -timeout=10 -rss_limit_mb=2048 \
    -max_len=65536 -print_final_stats=1 -artifact_prefix="$artifacts/" >"$log" 2>&1 || rc=$?
  local execs
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  if [ $rc -ne 0 ]; then
    {
      echo "fuzz: $t FAILED (exit $rc); the log is $log:"
      grep -E "ERROR|SUMMARY|fuzz check failed|Test unit written" "$log" | head -20 || true
    } >&2
    echo "$t: FAILED after ${execs:-?} executions" >"$result"
    return 1
  fi
  echo "$t: ${execs:-?} executions in ${secs}s ($(( ${execs:-0} / (secs > 0 ? secs : 1) ))/s), no failure" >"$result"
}

mkdir -p "$build/logs"
for t in "${targets[@]}"; do rm -f "$build/logs/$t.result"; done
status=0
run_pool run_target "$parallel" "${targets[@]}" || status=1

echo "fuzz summary:"
for t in "${targets[@]}"; do
  if [ -f "$build/logs/$t.result" ]; then
    sed 's/^/  /' "$build/logs/$t.result"
  else
    echo "  $t: FAILED, no result"
    status=1
  fi
done
exit $status

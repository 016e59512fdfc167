#!/usr/bin/env bash
# Builds the fuzz targets with clang and runs each for a bounded time.
#   fuzz/run.sh [seconds-per-target] [target ...]
# Seconds default to $BREM_FUZZ_SECONDS, else 60. Without target names every
# fuzz/<name>.cpp is run, with the seeds of fuzz/corpus/<name>/. New inputs
# the fuzzer finds go to build-fuzz/corpus/<name>/, crashes to
# build-fuzz/artifacts/<name>/; the exit status is 1 when any target failed.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
secs=${1:-${BREM_FUZZ_SECONDS:-60}}
shift || true
build=${BREM_FUZZ_BUILD:-$root/build-fuzz}
jobs=${BREM_FUZZ_JOBS:-2}

CC=${CC_FUZZ:-clang} CXX=${CXX_FUZZ:-clang++} cmake -S fuzz -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j"$jobs" >/dev/null

targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for src in fuzz/*.cpp; do
    grep -q LLVMFuzzerTestOneInput "$src" && targets+=("$(basename "$src" .cpp)")
  done
fi

status=0
summary=()
for t in "${targets[@]}"; do
  bin=$build/bin/fuzz_$t
  if [ ! -x "$bin" ]; then
    echo "fuzz: no target $t" >&2
    status=1
    continue
  fi
  corpus=$build/corpus/$t
  artifacts=$build/artifacts/$t
  mkdir -p "$corpus" "$artifacts"
  seeds=()
  [ -d fuzz/corpus/$t ] && seeds=("$root/fuzz/corpus/$t")
  log=$build/logs/$t.log
  mkdir -p "$(dirname "$log")"
  echo "fuzz: $t for ${secs}s"
  set +e
  # An input that runs over 10 seconds counts as a hang; LeakSanitizer
  # reports leaks, and the sanitizers stop at the first error.
  "$bin" "$corpus" "${seeds[@]}" -max_total_time="$secs" -timeout=10 -rss_limit_mb=2048 \
    -max_len=65536 -print_final_stats=1 -artifact_prefix="$artifacts/" >"$log" 2>&1
  rc=$?
  set -e
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  if [ $rc -ne 0 ]; then
    echo "fuzz: $t FAILED (exit $rc); the log is $log:" >&2
    grep -E "ERROR|SUMMARY|fuzz check failed|Test unit written" "$log" | head -20 >&2 || true
    status=1
    summary+=("$t: FAILED after ${execs:-?} executions")
  else
    summary+=("$t: ${execs:-?} executions in ${secs}s, no failure")
  fi
done
echo "fuzz summary:"
printf '  %s\n' "${summary[@]}"
exit $status

# Shared by the fuzz scripts (sourced, not run).

# Fills the array `targets` with the names given, or with every fuzz/<name>.cpp
# that defines a fuzz entry when none are given.
fuzz_targets() {
  targets=("$@")
  if [ ${#targets[@]} -eq 0 ]; then
    local src
    for src in fuzz/*.cpp; do
      grep -q LLVMFuzzerTestOneInput "$src" && targets+=("$(basename "$src" .cpp)")
    done
  fi
  return 0
}

# Runs `FUNCTION target` for every target, at most PARALLEL at once; returns 1
# when any of them failed.
#   run_pool FUNCTION PARALLEL TARGET...
run_pool() {
  local fn=$1 parallel=$2 t status=0 running=0
  shift 2
  for t in "$@"; do
    if [ "$running" -ge "$parallel" ]; then
      wait -n || status=1
      running=$((running - 1))
    fi
    "$fn" "$t" &
    running=$((running + 1))
  done
  while [ "$running" -gt 0 ]; do
    wait -n || status=1
    running=$((running - 1))
  done
  return "$status"
}

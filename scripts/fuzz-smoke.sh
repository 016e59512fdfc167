#!/usr/bin/env bash
# Builds the fuzz targets with clang and runs every one briefly; fails on any
# crash, hang, leak or failed check.
#   scripts/fuzz-smoke.sh   (BREM_FUZZ_SECONDS per target, default 60;
#                            BREM_FUZZ_SECONDS=0 skips the run;
#                            BREM_FUZZ_PARALLEL targets at once, default one
#                            per core)
# With eight targets on two cores this takes about seven minutes, the clang
# build included.
set -euo pipefail
cd "$(dirname "$0")/.."
secs=${BREM_FUZZ_SECONDS:-60}
if [ "$secs" = 0 ]; then
  echo "fuzz smoke skipped (BREM_FUZZ_SECONDS=0)"
  exit 0
fi
BREM_FUZZ_PARALLEL=${BREM_FUZZ_PARALLEL:-$(nproc)} exec fuzz/run.sh "$secs"

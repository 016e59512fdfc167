#!/usr/bin/env bash
# Builds the fuzz targets with clang and runs every one briefly; fails on any
# crash, hang, leak or failed check.
#   scripts/fuzz-smoke.sh
# The run takes $BREM_FUZZ_BUDGET seconds of wall time in all (default 240),
# shared out over the targets, one per core ($BREM_FUZZ_PARALLEL), the
# targets working in memory getting half the time of those going through
# files: more targets do not make the run longer. $BREM_FUZZ_SECONDS gives
# every target that many seconds instead; either set to 0 skips the run. The
# clang build adds about three minutes on two cores.
set -euo pipefail
cd "$(dirname "$0")/.."
if [ "${BREM_FUZZ_SECONDS:-}" = 0 ] || [ "${BREM_FUZZ_BUDGET:-}" = 0 ]; then
  echo "fuzz smoke skipped (no time given)"
  exit 0
fi
export BREM_FUZZ_PARALLEL=${BREM_FUZZ_PARALLEL:-$(nproc)}
[ -z "${BREM_FUZZ_SECONDS:-}" ] && export BREM_FUZZ_BUDGET=${BREM_FUZZ_BUDGET:-240}
exec fuzz/run.sh

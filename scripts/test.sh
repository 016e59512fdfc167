#!/usr/bin/env bash
# Builds both products (Linux natively, with AddressSanitizer and
# UndefinedBehaviorSanitizer; Windows with mingw-w64) and runs every test:
# the native suites and the Windows test host under Wine.
#   scripts/test.sh [ctest arguments, e.g. -L wine]
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh all
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
# A first Wine start sets up its prefix; do it once, before the timed tests.
wineboot -i >/dev/null 2>&1 || true
jobs=$(nproc)
cmake -S . -B build -DBREM_SANITIZE=ON -DBREM_WINDOWS=ON
cmake --build build -j"$jobs"
cd build
ctest --output-on-failure -j"$jobs" "$@"
# The Debian package, built Release in build-pkg and installed into a scratch tree.
cd ..
scripts/package.sh check-deb
# Then every fuzz target for a bounded time ($BREM_FUZZ_BUDGET seconds in all).
scripts/fuzz-smoke.sh

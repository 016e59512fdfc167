#!/usr/bin/env bash
# Builds both products (Linux natively, with AddressSanitizer and
# UndefinedBehaviorSanitizer; Windows with mingw-w64, 32-bit and 64-bit) and
# runs every test: the native suites and the Windows test programs under Wine.
# The 64-bit Windows build runs under 64-bit Wine everywhere; the 32-bit
# build's programs run where the machine runs 32-bit code, and are reported
# skipped, with the reason, where it does not.
#   scripts/test.sh [ctest arguments, e.g. -L win64, -L win32, -LE windows]
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh all
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
jobs=$(nproc)
cmake -S . -B build -DBREM_SANITIZE=ON -DBREM_WINDOWS=ON
cmake --build build -j"$jobs"

# Which Windows builds run here, said once before the tests.
if why=$(tests/win/wine.sh probe32); then
  echo "Windows tests: the 64-bit and the 32-bit build run under Wine"
else
  echo "Windows tests: the 64-bit build runs under Wine; 32-bit: $why"
fi

cd build
ctest --output-on-failure -j"$jobs" "$@"
count() { ctest -N -FA '.*' "$@" | sed -n 's/^Total Tests: //p'; }
echo "Windows tests run under Wine: $(count -L win64 -LE static) of the 64-bit build," \
     "$(count -L win32 -LE static) of the 32-bit build ($([ -n "${why:-}" ] && echo "reported skipped: $why" || echo "all run"))"
cd ..
# The native tests once more on the portable POSIX half alone (no Linux
# extras), without sanitizers: the POSIX fallbacks must stand on their own.
cmake -S . -B build-portable -DBREM_LINUX_EXTRAS=OFF -DBREM_SANITIZE=OFF -DBREM_WINDOWS=OFF
cmake --build build-portable -j"$jobs"
(cd build-portable && ctest --output-on-failure -j"$jobs" -L native)
# The Debian package, built Release in build-pkg and installed into a scratch tree.
scripts/package.sh check-deb
# Then every fuzz target for a bounded time ($BREM_FUZZ_BUDGET seconds in all).
scripts/fuzz-smoke.sh

#!/usr/bin/env bash
# Builds brem natively and runs the demo on the sample spool in demo/spool.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh demo
cmake -S . -B build-demo -DBREM_TESTS=OFF -DBREM_WINDOWS=OFF >/dev/null
cmake --build build-demo -j"$(nproc)" >/dev/null
demo/run-demo.sh "$PWD/build-demo/bin/brem"

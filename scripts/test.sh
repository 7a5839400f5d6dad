#!/usr/bin/env bash
# Installs what is missing, builds both presets and runs every test: natively,
# then the Windows build under Wine.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
scripts/install-deps.sh
jobs=$(nproc)
status=0
for preset in linux windows; do
    echo "=== $preset: configure and build"
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset" -j"$jobs"
done
for preset in linux windows; do
    echo "=== $preset: tests"
    ctest --preset "$preset" -j2 || status=1
done
exit $status

#!/usr/bin/env bash
# Installs what is missing, builds the native, sanitizer and Windows presets
# and runs every test: natively (with the fuzz corpus replays), natively under
# ASan and UBSan, then the Windows build under Wine. Every test runs once: one
# failure is a failed run.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
scripts/install-deps.sh
jobs=$(nproc)
presets=(linux sanitize windows)
for preset in "${presets[@]}"; do
    echo "=== $preset: configure and build"
    start=$SECONDS
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset" -j"$jobs"
    echo "=== $preset: built in $((SECONDS - start)) s"
done

status=0
declare -A ran failed
for preset in "${presets[@]}"; do
    case $preset in
    linux) echo "=== linux: tests and fuzz corpus replays" ;;
    sanitize) echo "=== sanitize: the same under ASan and UBSan (leak detection on)" ;;
    windows) echo "=== windows: tests (under Wine)" ;;
    esac
    log=$(mktemp)
    start=$SECONDS
    ctest --preset "$preset" -j2 2>&1 | tee "$log" || status=1
    # ctest ends with "N% tests passed, F tests failed out of T".
    summary=$(grep -E 'tests failed out of [0-9]+' "$log" | tail -1 || true)
    ran[$preset]=$(sed -E 's/.* out of ([0-9]+).*/\1/' <<<"$summary")
    failed[$preset]=$(sed -E 's/.* ([0-9]+) tests failed.*/\1/' <<<"$summary")
    [ -n "$summary" ] || { ran[$preset]=0; failed[$preset]=?; status=1; }
    rm -f "$log"
    echo "=== $preset: tests took $((SECONDS - start)) s"
done
echo "=== summary: ${ran[linux]} tests natively (${failed[linux]} failed)," \
     "${ran[sanitize]} under the sanitizers (${failed[sanitize]} failed)," \
     "${ran[windows]} under Wine (${failed[windows]} failed)"
exit $status

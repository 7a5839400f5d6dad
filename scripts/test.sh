#!/usr/bin/env bash
# Installs what is missing, builds the native, sanitizer and Windows presets
# and runs every test: natively (with the fuzz corpus replays), natively under
# ASan and UBSan, then the Windows build under Wine. Every test runs once: one
# failure is a failed run.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
start=$SECONDS
scripts/install-deps.sh
echo "=== packages: $((SECONDS - start)) s"
jobs=$(nproc)
presets=(linux sanitize windows)
# The Windows build runs the build machine's tools (the catalog append tool,
# the release signing tool) from the native build instead of building them
# again, and compiles through a cache of this tree's own: the release test
# builds Setup.exe once more, in a tree of its own (scripts/release.sh), and
# takes every object it shares with the windows preset from there. Objects
# are the same whatever the build folder (NOHASHDIR); the precompiled test
# header needs its two sloppiness settings to be cached at all.
export SETUP_HOST_TOOLS_FROM=$PWD/build/linux
export CCACHE_DIR=${CCACHE_DIR:-$PWD/build/ccache} CCACHE_NOHASHDIR=true
export CCACHE_SLOPPINESS=pch_defines,time_macros,include_file_mtime,include_file_ctime
windows_options=(-DSETUP_HOST_TOOLS_FROM="$SETUP_HOST_TOOLS_FROM"
                 -DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
for preset in "${presets[@]}"; do
    echo "=== $preset: configure and build"
    start=$SECONDS
    options=()
    [ "$preset" != windows ] || options=("${windows_options[@]}")
    # A tree made by another generator (the presets used Make before Ninja)
    # cannot be configured again: it is made anew.
    if [ -f "build/$preset/CMakeCache.txt" ] &&
        ! grep -q '^CMAKE_GENERATOR:INTERNAL=Ninja$' "build/$preset/CMakeCache.txt"; then
        rm -rf "build/$preset"
    fi
    cmake --preset "$preset" "${options[@]}" >/dev/null
    cmake --build --preset "$preset" -j"$jobs"
    echo "=== $preset: built in $((SECONDS - start)) s"
done
export CMAKE_C_COMPILER_LAUNCHER=ccache CMAKE_CXX_COMPILER_LAUNCHER=ccache

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

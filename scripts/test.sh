#!/usr/bin/env bash
# Installs what is missing, builds the native target under ASan and UBSan (the
# sanitize preset) and the Windows target, and runs every test: the Windows
# build under Wine, then natively under the sanitizers (with the fuzz corpus
# replays). Every test runs once: one failure is a failed run.
#
# The plain linux preset runs the same tests as the sanitize one, only without
# the checks, so CI leaves it to development and the benchmarks; optimised
# code is still tested, in the Windows build (-O2 and -Os) under Wine.
#
# The Wine tests spend much of their time waiting (for Wine, a window, a
# server's pause), so the sanitize build runs beside them at the lowest
# priority, on the processor time they leave; its tests, which time
# themselves too, run alone afterwards.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
start=$SECONDS
scripts/install-deps.sh
echo "=== packages: $((SECONDS - start)) s"
jobs=$(nproc)
# The Windows build runs the build machine's tools (the catalog append tool,
# the release signing tool) from the native build instead of building them
# again (they run under the sanitizers there, as in their tests), and
# compiles through a cache of this tree's own: the release test builds
# Setup.exe once more, in a tree of its own (scripts/release.sh), and takes
# every object it shares with the windows preset from there. Objects are the
# same whatever the build folder (NOHASHDIR); the precompiled test header
# needs its two sloppiness settings to be cached at all.
export SETUP_HOST_TOOLS_FROM=$PWD/build/sanitize
export CCACHE_DIR=${CCACHE_DIR:-$PWD/build/ccache} CCACHE_NOHASHDIR=true
export CCACHE_SLOPPINESS=pch_defines,time_macros,include_file_mtime,include_file_ctime

configure() { # preset [cmake options...]
    # A tree made by another generator (the presets used Make before Ninja)
    # cannot be configured again: it is made anew.
    if [ -f "build/$1/CMakeCache.txt" ] &&
        ! grep -q '^CMAKE_GENERATOR:INTERNAL=Ninja$' "build/$1/CMakeCache.txt"; then
        rm -rf "build/$1"
    fi
    cmake --preset "$@" >/dev/null
}

status=0
declare -A ran failed
run_tests() { # preset
    local log start=$SECONDS summary
    log=$(mktemp)
    ctest --preset "$1" -j2 2>&1 | tee "$log" || status=1
    # ctest ends with "N% tests passed, F tests failed out of T".
    summary=$(grep -E 'tests failed out of [0-9]+' "$log" | tail -1 || true)
    ran[$1]=$(sed -E 's/.* out of ([0-9]+).*/\1/' <<<"$summary")
    failed[$1]=$(sed -E 's/.* ([0-9]+) tests failed.*/\1/' <<<"$summary")
    [ -n "$summary" ] || { ran[$1]=0; failed[$1]=?; status=1; }
    rm -f "$log"
    echo "=== $1: tests took $((SECONDS - start)) s"
}

echo "=== sanitize: configure, and the build machine's tools"
start=$SECONDS
configure sanitize
cmake --build --preset sanitize --target appendcatalogs signmanifest -j"$jobs"
echo "=== sanitize: tools built in $((SECONDS - start)) s"

echo "=== windows: configure and build"
start=$SECONDS
configure windows -DSETUP_HOST_TOOLS_FROM="$SETUP_HOST_TOOLS_FROM" \
    -DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache
cmake --build --preset windows -j"$jobs"
echo "=== windows: built in $((SECONDS - start)) s"
export CMAKE_C_COMPILER_LAUNCHER=ccache CMAKE_CXX_COMPILER_LAUNCHER=ccache

mkdir -p build/logs
sanitize_log=build/logs/sanitize-build.log
sanitize_start=$SECONDS
(
    nice -n 19 cmake --build --preset sanitize -j"$jobs"
    echo "=== sanitize: built in $((SECONDS - sanitize_start)) s, beside the Wine tests"
) >"$sanitize_log" 2>&1 &
sanitize_build=$!

echo "=== windows: tests (under Wine; the sanitize build goes on beside them)"
run_tests windows

echo "=== sanitize: waiting for the build"
if wait "$sanitize_build"; then
    tail -n 1 "$sanitize_log"
    echo "=== sanitize: tests and fuzz corpus replays under ASan and UBSan (leak detection on)"
    run_tests sanitize
else
    cat "$sanitize_log"
    echo "=== sanitize: the build failed"
    ran[sanitize]=0 failed[sanitize]=? status=1
fi
echo "=== summary: ${ran[sanitize]} tests natively under the sanitizers (${failed[sanitize]} failed)," \
     "${ran[windows]} under Wine (${failed[windows]} failed)"
exit $status

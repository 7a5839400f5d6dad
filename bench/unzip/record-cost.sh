#!/usr/bin/env bash
# What writing files whole and recording them (size and CRC-32) cost the
# wizard's unpack: record_cost (record_cost.cpp) on archives like the wizard's (the
# machine's shared libraries of 0.5 to 8 MB, about 150 MB, once stored and
# once deflated with zip -6, as bench/wizard makes them), natively and, when
# the Windows build has it, under Wine.
#
#   bench/unzip/record-cost.sh [RUNS]        (best of RUNS, default 5)
#
# Environment: OUT=/dev/shm/x puts the extracted files in memory (default:
# WORK/out on the disk); WORK (default build/bench-record-cost);
# CORPUS=path/to/a.zip adds an archive of one's own (bench/unzip/run.sh's
# corpus of 16,867 entries shows the cost per file).
set -euo pipefail
src=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
runs=${1:-5}
work=${WORK:-$src/build/bench-record-cost}
out=${OUT:-$work/out}
native=$src/build/linux/bench/unzip/record_cost
windows=$src/build/windows/bench/unzip/record_cost.exe
mkdir -p "$work"

if [ ! -f "$work/deflated.zip" ]; then
    rm -rf "$work/stage" && mkdir -p "$work/stage"
    find /usr/lib/x86_64-linux-gnu -maxdepth 1 -type f -name 'lib*.so*' -size +500k -size -8M \
        -printf '%s %p\n' | sort -k2 | awk '{ total += $1; if (total > 150000000) exit; print $2 }' |
        xargs cp -t "$work/stage"
    (cd "$work/stage" && zip -q -0 -X ../stored.zip ./* && zip -q -6 -X ../deflated.zip ./*)
    rm -rf "$work/stage"
fi
archives=("$work/stored.zip" "$work/deflated.zip")
[ -z "${CORPUS:-}" ] || archives+=("$CORPUS")

for archive in "${archives[@]}"; do
    echo "== $(basename "$archive") ($(du -m "$archive" | cut -f1) MB, $(unzip -Z1 "$archive" | wc -l) entries), natively"
    "$native" "$archive" "$out" "$runs"
done
if [ -f "$windows" ]; then
    . "$src/scripts/wine-env.sh"
    . "$src/scripts/wine-gui.sh"
    build=$src/build/windows
    wine_env_init "$work/wine" "$src" "$build"
    # The archives and the output through a drive of their own.
    ln -sfn "$work" "$WINEPREFIX/dosdevices/r:"
    for archive in "${archives[@]}"; do
        case $archive in "$work"/*) ;; *) continue ;; esac
        echo "== $(basename "$archive"), under Wine"
        "$WINE_BIN" "$(wine_build_path "$build" "$windows")" "R:\\${archive#"$work"/}" 'R:\out-wine' \
            "$runs" | tr -d '\r'
    done
    rm -rf "$work/out-wine"
fi
rm -rf "$out"

#!/bin/sh
# Whole-archive extraction: arcunzip against unzip, 7-Zip and bsdtar on the
# same archives, same machine, same run. Prints the best wall time of
# REPEAT rounds, the CPU time of that run and the peak resident set size of
# each tool.
#
#   bench/unzip/run.sh [WORKDIR]      (needs build/linux/tools/arcunzip)
#
# Environment:
#   REPEAT=3                 rounds
#   OUT=/dev/shm/x           where the files go (memory takes the disk out)
#   BASELINE=path/arcunzip   an older arcunzip, measured in the same rounds
#                            ("arcunzip-before"), for a before/after pair
#   PEERS=0                  leave unzip, 7-Zip and bsdtar out
#   OVER=1                   extract over the files of an earlier extraction
#                            (left in OUT) instead of into an empty folder
# arcunzip is measured twice: with its defaults and with -w ("arcunzip-w":
# every file written whole through a temporary file, as upgrades use it).
#
# The corpus is /usr/include plus /usr/share/doc plus the shared libraries
# of /usr/lib/x86_64-linux-gnu that start with "lib[a-m]" (text and binaries,
# well over 100 MB), archived once with zip -9 (deflate) and zip -0 (stored).
set -eu
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
WORK=${1:-/tmp/unzip-bench}
REPEAT=${REPEAT:-3}
# Where the files go; OUT=/dev/shm/x takes the disk out of the measurement.
OUT=${OUT:-$WORK/out}
ARCUNZIP=${ARCUNZIP:-$ROOT/build/linux/tools/arcunzip/arcunzip}
SEVENZIP=$(command -v 7zz || command -v 7z)
mkdir -p "$WORK"
cd "$WORK"

if [ ! -f corpus-deflate.zip ] || [ ! -f corpus-stored.zip ]; then
    rm -rf corpus && mkdir corpus
    cp -rL /usr/include corpus/include 2>/dev/null || true
    cp -r /usr/share/doc corpus/doc 2>/dev/null || true
    mkdir corpus/lib
    find /usr/lib/x86_64-linux-gnu -maxdepth 1 -type f -name 'lib[a-m]*.so*' -exec cp {} corpus/lib/ \;
    (cd corpus && zip -q -r -9 ../corpus-deflate.zip . && zip -q -r -0 ../corpus-stored.zip .)
fi

# One extraction; appends "label wall cpu rss files" to results.txt. The
# output folder starts empty, or, with OVER=1, holds the files of an earlier
# extraction of the same archive, which this one writes over.
once() { # label command...
    label=$1
    shift
    if [ "${OVER:-0}" = 1 ]; then
        mkdir -p "$OUT"
    else
        rm -rf "$OUT" && mkdir -p "$OUT"
    fi
    /usr/bin/time -f "%e %U %S %M" -o time.txt "$@" >/dev/null 2>&1 || echo "  ($label exited non-zero)"
    read -r secs user sys kb <<EOT
$(tail -n 1 time.txt)
EOT
    echo "$label $secs $(echo "$user + $sys" | bc) $kb $(find "$OUT" -type f | wc -l)" >> results.txt
}

labels="arcunzip arcunzip-w"
[ -n "${BASELINE:-}" ] && labels="$labels arcunzip-before"
[ "${PEERS:-1}" = 0 ] || labels="$labels unzip 7z bsdtar"
run_tool() { # label archive
    case $1 in
    arcunzip) once arcunzip "$ARCUNZIP" -r -d "$OUT" "$2" ;;
    arcunzip-w) once arcunzip-w "$ARCUNZIP" -r -w -d "$OUT" "$2" ;;
    arcunzip-before) once arcunzip-before "$BASELINE" -r -d "$OUT" "$2" ;;
    unzip) once unzip unzip -q -o "$2" -d "$OUT" ;;
    7z) once 7z "$SEVENZIP" x -y -bd "-o$OUT" "$2" ;;
    bsdtar) once bsdtar bsdtar -xf "$2" -C "$OUT" ;;
    esac
}

# The tools take turns within each round, so a busy phase of a shared
# machine hits them alike; the best wall time of each counts, with the CPU
# time (user + system) of that run.
for archive in corpus-stored.zip corpus-deflate.zip; do
    echo "== $archive ($(du -m "$archive" | cut -f1) MB, $(unzip -Z1 "$archive" | wc -l) entries)"
    : > results.txt
    if [ "${OVER:-0}" = 1 ]; then
        rm -rf "$OUT" && mkdir -p "$OUT" && "$ARCUNZIP" -r -d "$OUT" "$archive" >/dev/null 2>&1
    fi
    i=0
    while [ $i -lt "$REPEAT" ]; do
        for label in $labels; do run_tool "$label" "$archive"; done
        i=$((i + 1))
    done
    for label in $labels; do
        grep "^$label " results.txt | sort -k2,2n | head -n 1 |
            awk '{ printf "%-16s %8s s wall  %6.2f s CPU  %8s KiB peak RSS  %6s files\n", $1, $2, $3, $4, $5 }'
    done
done
rm -f results.txt
rm -rf "$OUT" time.txt

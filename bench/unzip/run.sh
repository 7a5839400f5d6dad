#!/bin/sh
# Whole-archive extraction: arcunzip against unzip, 7-Zip and bsdtar on the
# same archives, same machine, same run. Prints the best wall time of
# REPEAT runs and the peak resident set size of each tool.
#
#   bench/unzip/run.sh [WORKDIR]      (needs build/linux/tools/arcunzip)
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

run() { # label command...
    label=$1
    shift
    best=""
    rss=""
    i=0
    while [ $i -lt "$REPEAT" ]; do
        rm -rf "$OUT" && mkdir -p "$OUT"
        /usr/bin/time -f "%e %M" -o time.txt "$@" >/dev/null 2>&1 || echo "  ($label exited non-zero)"
        read -r secs kb <<EOT
$(tail -n 1 time.txt)
EOT
        if [ -z "$best" ] || [ "$(echo "$secs < $best" | bc)" = 1 ]; then best=$secs; fi
        rss=$kb
        i=$((i + 1))
    done
    files=$(find "$OUT" -type f | wc -l)
    printf '%-10s %8s s  %8s KiB peak RSS  %6s files\n' "$label" "$best" "$rss" "$files"
}

for archive in corpus-stored.zip corpus-deflate.zip; do
    echo "== $archive ($(du -m "$archive" | cut -f1) MB, $(unzip -Z1 "$archive" | wc -l) entries)"
    run arcunzip "$ARCUNZIP" -r -d "$OUT" "$archive"
    run unzip unzip -q -o "$archive" -d "$OUT"
    run 7z "$SEVENZIP" x -y -bd "-o$OUT" "$archive"
    run bsdtar bsdtar -xf "$archive" -C "$OUT"
done
rm -rf "$OUT" time.txt

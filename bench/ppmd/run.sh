#!/bin/sh
# Testing PPMd (method 98) archives: arcunzip -t against 7zz t and bsdtar -xOf
# (to /dev/null: bsdtar -t alone lists a ZIP without decoding its data)
# on the same archives, same machine, same run, alternating. Prints the best
# wall and CPU time of REPEAT runs of each, the ratios to 7-Zip, and each
# tool's peak RSS (/usr/bin/time).
#
#   bench/ppmd/run.sh [WORKDIR]      (needs build/linux/tools/arcunzip, 7zz, bsdtar, bc)
#
# The input (SIZE_MB, default 60) is generated text from the fixture maker,
# compressed once by 7-Zip at order 6 (16 MiB model) and at order 16
# (256 MiB model; 7-Zip keeps the size asked for with inputs this large).
set -eu
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
WORK=${1:-/tmp/ppmd-bench}
REPEAT=${REPEAT:-3}
SIZE_MB=${SIZE_MB:-60}
ARCUNZIP=${ARCUNZIP:-$ROOT/build/linux/tools/arcunzip/arcunzip}
MAKER=$ROOT/tests/data/zip-ppmd/make_ppmd_fixtures.py
. "$ROOT/bench/common.sh"
mkdir -p "$WORK"
cd "$WORK"

[ -f text.txt ] || /usr/bin/python3 "$MAKER" text $((SIZE_MB * 1000000)) text.txt
[ -f o6.zip ] || 7zz a -tzip -mm=PPMd:o=6:mem=16m o6.zip text.txt > /dev/null
[ -f o16.zip ] || 7zz a -tzip -mm=PPMd:o=16:mem=256m o16.zip text.txt > /dev/null

for archive in o6.zip o16.zip; do
    a_wall="" a_cpu="" a_rss="" s_wall="" s_cpu="" s_rss="" b_wall="" b_cpu="" b_rss=""
    i=0
    while [ $i -lt "$REPEAT" ]; do
        timed "$ARCUNZIP" -t "$archive"
        a_wall=$(best "$a_wall" "$wall") a_cpu=$(best "$a_cpu" "$cpu") a_rss=$(most "$a_rss" "$rss")
        timed 7zz t "$archive"
        s_wall=$(best "$s_wall" "$wall") s_cpu=$(best "$s_cpu" "$cpu") s_rss=$(most "$s_rss" "$rss")
        timed bsdtar -xOf "$archive"
        b_wall=$(best "$b_wall" "$wall") b_cpu=$(best "$b_cpu" "$cpu") b_rss=$(most "$b_rss" "$rss")
        i=$((i + 1))
    done
    echo "$archive $(du -m "$archive" | cut -f1) $a_wall $a_cpu $a_rss $s_wall $s_cpu $s_rss $b_wall $b_cpu $b_rss" | awk '{
        printf "%-8s %3d MB  arcunzip %6.2f s (cpu %6.2f, %4.0f MiB)  7zz %6.2f s (cpu %6.2f, %4.0f MiB)  bsdtar %6.2f s (cpu %6.2f, %4.0f MiB)\n",
            $1, $2, $3, $4, $5 / 1024, $6, $7, $8 / 1024, $9, $10, $11 / 1024
        printf "         wall ratio arcunzip/7zz %.2f (cpu %.2f), arcunzip/bsdtar %.2f (cpu %.2f)\n",
            $3 / $6, $4 / $7, $3 / $9, $4 / $10 }'
done

#!/bin/sh
# Testing legacy-method archives: arcunzip -t against 7zz t on the same
# archives, same machine, same run, alternating. Prints the best wall time
# and CPU time of REPEAT runs of each, and their ratio.
#
#   bench/legacy/run.sh [WORKDIR]      (needs build/linux/tools/arcunzip)
#
# The input (SIZE_MB, default 60) is text from /usr/include and
# /usr/share/doc (the first 8 MB) followed by shared libraries from
# /usr/lib/x86_64-linux-gnu, made once into a shrunk archive and an
# imploded one (8 KiB dictionary, three trees) by the fixture maker. With the
# default size both archives are over 20 MB; making them takes a few minutes.
set -eu
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
WORK=${1:-/tmp/legacy-bench}
REPEAT=${REPEAT:-5}
SIZE_MB=${SIZE_MB:-60}
ARCUNZIP=${ARCUNZIP:-$ROOT/build/linux/tools/arcunzip/arcunzip}
MAKER=$ROOT/tests/data/zip-legacy/make_legacy_fixtures.py
. "$ROOT/bench/common.sh"
mkdir -p "$WORK"
cd "$WORK"

make_corpus corpus.bin "$SIZE_MB" 8000000
for method in shrink implode8k3; do
    [ -f "$method.zip" ] || /usr/bin/python3 "$MAKER" "$method" corpus.bin "$method.zip"
done

for method in shrink implode8k3; do
    archive=$method.zip
    a_wall="" a_cpu="" s_wall="" s_cpu=""
    i=0
    while [ $i -lt "$REPEAT" ]; do
        timed "$ARCUNZIP" -t "$archive"
        a_wall=$(best "$a_wall" "$wall") a_cpu=$(best "$a_cpu" "$cpu")
        timed 7zz t "$archive"
        s_wall=$(best "$s_wall" "$wall") s_cpu=$(best "$s_cpu" "$cpu")
        i=$((i + 1))
    done
    echo "$archive $(du -m "$archive" | cut -f1) $a_wall $a_cpu $s_wall $s_cpu" | awk '{
        printf "%-16s %3d MB  arcunzip %5.2f s (cpu %5.2f)  7zz %5.2f s (cpu %5.2f)  wall ratio %.2f\n",
            $1, $2, $3, $4, $5, $6, $3 / $5 }'
done

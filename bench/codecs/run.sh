#!/bin/sh
# Testing bzip2 and LZMA archives: arcunzip -t against bsdtar (the same
# libbz2 and liblzma) and 7-Zip (its own decoders), same machine, same run,
# alternating. Prints the best wall and CPU time of REPEAT runs of each and
# the ratios to bsdtar.
#
#   bench/codecs/run.sh [WORKDIR]      (needs build/linux/tools/arcunzip)
#
# bsdtar -t only lists a ZIP archive from its directory without decoding
# anything, so bsdtar runs as `bsdtar -xOf ARCHIVE > /dev/null`, which decodes
# every entry and checks its CRC-32 without writing files, like the other two.
# The input (SIZE_MB, default 120) is text from /usr/include and
# /usr/share/doc (the first 30 MB) followed by shared libraries from
# /usr/lib/x86_64-linux-gnu, made once into one entry each with
# 7zz -mm=BZip2 and -mm=LZMA -mx=1 (the LZMA one with its end marker; its
# fast level, since the default one takes most of an hour for 120 MB on two
# shared cores, and it is decoding that is measured here).
set -eu
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
WORK=${1:-/tmp/codecs-bench}
REPEAT=${REPEAT:-3}
SIZE_MB=${SIZE_MB:-120}
ARCUNZIP=${ARCUNZIP:-$ROOT/build/linux/tools/arcunzip/arcunzip}
. "$ROOT/bench/common.sh"
mkdir -p "$WORK"
cd "$WORK"

make_corpus corpus.bin "$SIZE_MB" 30000000
[ -f bzip2.zip ] || 7zz a -bd -bso0 -tzip -mm=BZip2 bzip2.zip corpus.bin
[ -f lzma.zip ] || 7zz a -bd -bso0 -tzip -mm=LZMA -mx=1 lzma.zip corpus.bin

echo "corpus $(du -m corpus.bin | cut -f1) MB; arcunzip, bsdtar $(bsdtar --version | cut -d' ' -f2), 7-Zip $(7zz | sed -n 's/^7-Zip (z) \([^ ]*\).*/\1/p')"
for archive in bzip2.zip lzma.zip; do
    a_wall="" a_cpu="" b_wall="" b_cpu="" s_wall="" s_cpu=""
    i=0
    while [ $i -lt "$REPEAT" ]; do
        timed "$ARCUNZIP" -t "$archive"
        a_wall=$(best "$a_wall" "$wall") a_cpu=$(best "$a_cpu" "$cpu")
        timed sh -c "bsdtar -xOf $archive > /dev/null"
        b_wall=$(best "$b_wall" "$wall") b_cpu=$(best "$b_cpu" "$cpu")
        timed 7zz t "$archive"
        s_wall=$(best "$s_wall" "$wall") s_cpu=$(best "$s_cpu" "$cpu")
        i=$((i + 1))
    done
    echo "$archive $(du -m "$archive" | cut -f1) $a_wall $a_cpu $b_wall $b_cpu $s_wall $s_cpu" | awk '{
        printf "%-10s %3d MB  arcunzip %6.2f s (cpu %6.2f)  bsdtar %6.2f s (cpu %6.2f)  7zz %6.2f s (cpu %6.2f)  arcunzip/bsdtar %.3f  7zz/bsdtar %.3f\n",
            $1, $2, $3, $4, $5, $6, $7, $8, $3 / $5, $7 / $5 }'
done

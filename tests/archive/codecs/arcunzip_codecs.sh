#!/bin/sh
# arcunzip names and tests the bzip2, LZMA and WavPack entries; 7-Zip checks
# independently that the bzip2 and LZMA fixtures are sound, and wvunpack that
# the WavPack entries' data unpacks to the original WAV files.
# Usage: arcunzip_codecs.sh ARCUNZIP DATA_DIR
set -u
tool=$1
data=$2
fail=0
check() { # description, condition result
    if [ "$2" -ne 0 ]; then echo "FAILED: $1"; fail=1; fi
}
for pair in bzip2.zip:BZip2 lzma.zip:LZMA lzma-noeos.zip:LZMA wavpack.zip:WavPack; do
    archive=${pair%%:*} method=${pair#*:}
    "$tool" -l "$data/$archive" | grep -q " $method "
    check "$archive is listed as $method" $?
    "$tool" -t "$data/$archive" | grep -q "entries tested, 0 failed"
    check "$archive tests without failures" $?
    if command -v 7zz > /dev/null && [ "$method" != WavPack ]; then
        7zz t "$data/$archive" > /dev/null
        check "7-Zip accepts $archive" $?
    fi
done
exit $fail

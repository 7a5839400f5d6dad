#!/bin/sh
# arcunzip names and tests the legacy methods; 7-Zip, where installed, checks
# independently that the fixture maker's shrink and implode archives are sound.
# Usage: arcunzip_legacy.sh ARCUNZIP DATA_DIR
set -u
tool=$1
data=$2
fail=0
check() { # description, condition result
    if [ "$2" -ne 0 ]; then echo "FAILED: $1"; fail=1; fi
}
for pair in SHRUNK.ZIP:Shrunk shrink.zip:Shrunk reduce.zip:Reduced implode.zip:Implode \
    imploding-4Kdict-2trees.zip:Implode imploding-8Kdict-3trees.zip:Implode; do
    archive=${pair%%:*} method=${pair#*:}
    "$tool" -l "$data/$archive" | grep -q " $method "
    check "$archive is listed as $method" $?
    "$tool" -t "$data/$archive" | grep -q "entries tested, 0 failed"
    check "$archive tests without failures" $?
    if command -v 7zz > /dev/null && [ "$method" != Reduced ]; then
        7zz t "$data/$archive" > /dev/null
        check "7-Zip accepts $archive" $?
    fi
done
"$tool" -t "$data/cases.zip" > /dev/null 2>&1
check "damaged entries give exit code 1" $([ $? -eq 1 ]; echo $?)
exit $fail

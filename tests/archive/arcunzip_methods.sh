#!/bin/sh
# arcunzip names and tests the entries of one decoder family's archives;
# 7-Zip, where installed, checks independently that each archive it can read
# is sound.
# Usage: arcunzip_methods.sh ARCUNZIP DATA_DIR [--damaged ARCHIVE] ARCHIVE:METHOD[:no7z]...
#   METHOD is the name "arcunzip -l" shows; ":no7z" marks an archive 7-Zip
#   cannot read. Testing the --damaged archive must exit with code 1.
set -u
tool=$1
data=$2
shift 2
damaged=
if [ "${1:-}" = --damaged ]; then
    damaged=$2
    shift 2
fi
fail=0
check() { # description, condition result
    if [ "$2" -ne 0 ]; then echo "FAILED: $1"; fail=1; fi
}
for item in "$@"; do
    archive=${item%%:*} rest=${item#*:}
    method=${rest%%:*}
    "$tool" -l "$data/$archive" | grep -q " $method "
    check "$archive is listed as $method" $?
    "$tool" -t "$data/$archive" | grep -q "entries tested, 0 failed"
    check "$archive tests without failures" $?
    if command -v 7zz > /dev/null && [ "$rest" = "$method" ]; then
        7zz t "$data/$archive" > /dev/null
        check "7-Zip accepts $archive" $?
    fi
done
if [ -n "$damaged" ]; then
    "$tool" -t "$data/$damaged" > /dev/null 2>&1
    check "damaged entries give exit code 1" $([ $? -eq 1 ]; echo $?)
fi
exit $fail

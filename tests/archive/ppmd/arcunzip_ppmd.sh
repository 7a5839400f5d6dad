#!/bin/sh
# arcunzip lists and tests the PPMd archives and extracts every byte as 7-Zip
# does: the committed fixtures, and (where 7zz and python3-ppmd are
# installed) larger archives made now whose models fill up many times.
# Usage: arcunzip_ppmd.sh ARCUNZIP DATA_DIR WORK_DIR
set -u
tool=$1
data=$2
work=$3
fail=0
check() { # description, status
    if [ "$2" -ne 0 ]; then echo "FAILED: $1"; fail=1; fi
}
compare() { # archive
    name=$(basename "$1" .zip)
    rm -rf "$work/ours/$name" "$work/peer/$name"
    mkdir -p "$work/ours/$name" "$work/peer/$name"
    "$tool" -l "$1" | grep -q " PPMd "
    check "$name is listed as PPMd" $?
    "$tool" -t "$1" | grep -q "entries tested, 0 failed"
    check "$name tests without failures" $?
    "$tool" -d "$work/ours/$name" "$1" > /dev/null
    check "$name extracts" $?
    if command -v 7zz > /dev/null; then
        7zz x -o"$work/peer/$name" "$1" > /dev/null
        diff -r "$work/ours/$name" "$work/peer/$name" > /dev/null
        check "$name extracts as 7-Zip extracts it" $?
    fi
}
mkdir -p "$work"
for archive in "$data"/*.zip; do
    compare "$archive"
done

# One byte changed in the middle of the first entry's stream.
cp "$data/7z-o6.zip" "$work/damaged.zip"
printf '\377' | dd of="$work/damaged.zip" bs=1 seek=2000 conv=notrunc 2> /dev/null
"$tool" -t "$work/damaged.zip" > /dev/null 2>&1
check "a damaged entry gives exit code 1" $([ $? -eq 1 ]; echo $?)

if command -v 7zz > /dev/null && /usr/bin/python3 -c "import ppmd" 2> /dev/null; then
    # The maker is deterministic, so archives from an earlier run are kept.
    [ -f "$work/large/large-py-cutoff.zip" ] ||
        /usr/bin/python3 "$data/make_ppmd_fixtures.py" large "$work/large"
    check "the large archives are made" $?
    for archive in "$work"/large/*.zip; do
        compare "$archive"
    done
else
    echo "7zz or python3-ppmd missing: large archives skipped"
fi
exit $fail

#!/bin/sh
# Command-line behaviour of arcunzip: listing, testing, extraction, the
# failure reports and the exit codes. Usage: arcunzip_cli.sh ARCUNZIP DATA_DIR
set -u
tool=$1
data=$2
work=$(mktemp -d)
trap 'chmod -R u+w "$work"; rm -rf "$work"' EXIT
fail=0
check() { # description, condition result
    if [ "$2" -ne 0 ]; then echo "FAILED: $1"; fail=1; fi
}

"$tool" -l "$data/stored.zip" > "$work/list.txt"
check "list exits 0" $?
grep -q "hello.txt" "$work/list.txt" && grep -q "Stored" "$work/list.txt"
check "list shows names and methods" $?

"$tool" -t "$data/stored.zip" > "$work/test.txt"
check "test exits 0" $?

"$tool" -d "$work/flat" "$data/stored.zip"
check "extract exits 0" $?
cmp -s "$work/flat/nested.txt" "$data/src/sub/nested.txt"
check "flat extraction drops folders" $?

"$tool" -r -d "$work/tree" "$data/stored.zip" "sub/*"
check "extract with mask exits 0" $?
cmp -s "$work/tree/sub/nested.txt" "$data/src/sub/nested.txt" && [ ! -e "$work/tree/hello.txt" ]
check "-r keeps folders, the mask selects" $?

"$tool" -d "$work/cases" "$data/extract-cases.zip" 2> "$work/err.txt"
check "a failed entry gives exit code 1" $([ $? -eq 1 ]; echo $?)
grep -q "^method99.bin: Cannot extract file - unsupported compression method$" "$work/err.txt"
check "the failed entry is named with its message" $?
grep -q "^badcrc.txt: Failed CRC Check$" "$work/err.txt"
check "a CRC mismatch is reported" $?

mkdir "$work/whole"
printf old > "$work/whole/hello.txt"
printf left > "$work/whole/~arc0123abcd.tmp"
"$tool" -w -d "$work/whole" "$data/stored.zip"
check "extract whole exits 0" $?
cmp -s "$work/whole/hello.txt" "$data/src/hello.txt" && [ ! -e "$work/whole/~arc0123abcd.tmp" ]
check "-w replaces files and removes a killed run's temporary files" $?

"$tool" -l "$data/html-page.zip" 2> "$work/err2.txt"
check "an unreadable archive gives exit code 1" $([ $? -eq 1 ]; echo $?)
grep -q "Unhandled Archive Type" "$work/err2.txt"
check "the open error is shown" $?

"$tool" > /dev/null 2>&1
check "no archive is a usage error" $([ $? -eq 2 ]; echo $?)
exit $fail

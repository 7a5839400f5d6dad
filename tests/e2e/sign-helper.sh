#!/usr/bin/env bash
# Signs release manifests for install_e2e. The tests run under Wine and cannot
# start the native signing tool, so they ask through files in DIR:
#   DIR/request   one line: "sign KEY SERIAL [EXPIRES]": the archives served in
#                 FILES signed with KEYS/KEY.pem into FILES/release.txt
#   DIR/reply     written back: the tool's exit status
# Runs until DIR/stop appears (the caller removes it before starting it).
#   sign-helper.sh DIR TOOL KEYS FILES
set -u
dir=$1 tool=$2 keys=$3 files=$4
mkdir -p "$dir"
rm -f "$dir/request" "$dir/reply"

serve() {
    [ "${1:-}" = sign ] && [ $# -ge 3 ] && [ $# -le 4 ] || return 2
    local expires=()
    [ $# -eq 4 ] && expires=(--expires "$4")
    "$tool" sign --key "$keys/$2.pem" --serial "$3" "${expires[@]}" "$files" >"$dir/last.log" 2>&1
}

while [ ! -e "$dir/stop" ]; do
    if [ -e "$dir/request" ]; then
        read -r -a words <"$dir/request"
        rm -f "$dir/request"
        serve "${words[@]}"
        echo $? >"$dir/reply.tmp"
        mv "$dir/reply.tmp" "$dir/reply"
    fi
    sleep 0.05
done

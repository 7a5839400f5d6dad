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

. "$(dirname "${BASH_SOURCE[0]}")/request-loop.sh"
answer_requests "$dir"

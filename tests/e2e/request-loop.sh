# The loop of install_e2e's native helpers (sourced): the tests run under
# Wine and cannot start native programs, so they write one request line into
# DIR/request and wait for DIR/reply, which holds the exit status of the
# helper's serve function for that line's words. Runs until DIR/stop appears.
#   answer_requests DIR
answer_requests() {
    local dir=$1 words
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
}

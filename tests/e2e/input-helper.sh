#!/usr/bin/env bash
# Real input events for install_e2e. The tests run under Wine and cannot start
# native programs, so they ask for input through files in DIR:
#   DIR/request   one line: "click X Y" (screen coordinates of the Wine
#                 desktop) or "key NAME..." (X key names, typed in order)
#   DIR/reply     written back: xdotool's exit status
# The events go through the X server (XTEST) into the Wine desktop window, as
# a user's mouse and keyboard would. Runs until DIR/stop appears (the caller
# removes it before starting the helper).
#   input-helper.sh DIR
set -u
dir=$1
mkdir -p "$dir"
rm -f "$dir/request" "$dir/reply"

desktop_window() { xdotool search --name 'Wine desktop' 2>/dev/null | head -n 1; }

serve() {
    local verb=$1
    shift
    local win
    win=$(desktop_window)
    [ -n "$win" ] || return 3
    case $verb in
    click)
        [ $# -eq 2 ] || return 2
        xdotool mousemove --window "$win" "$1" "$2" click 1
        ;;
    key)
        [ $# -ge 1 ] || return 2
        # Keys go to the X window with the input focus; no window manager
        # gives it to the desktop, so it is given here.
        xdotool windowfocus "$win" && xdotool key --delay 50 "$@"
        ;;
    *) return 2 ;;
    esac
}

. "$(dirname "${BASH_SOURCE[0]}")/request-loop.sh"
answer_requests "$dir"

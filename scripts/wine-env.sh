# Sourced by the scripts that run Windows programs under Wine.
#
# wine_env_init ROOT SOURCE_DIR [BUILD_DIR]
#   Uses ROOT/prefix as WINEPREFIX and ROOT/home as HOME, so Wine never touches
#   the user's own home folder (Wine links the Desktop and the documents folders
#   to $HOME). The prefix is made once, as a copy of the build tree's template
#   (wine_template); its Z: drive, which Wine maps to "/", is removed, and S:
#   (sources) and B: (build tree) are mapped instead.
WINE_BIN=${WINE_BIN:-/usr/lib/wine/wine64}
WINESERVER_BIN=${WINESERVER_BIN:-/usr/lib/wine/wineserver}

wine_env_init() {
    local root=$1 src=$2 build=${3:-$1}
    mkdir -p "$root/home"
    export WINEPREFIX="$root/prefix"
    export HOME="$root/home"
    export WINEARCH=win64
    # File names cross between Windows and Unix through the Unix character
    # set: keep it UTF-8 whatever language LANG asks for (that locale may not
    # even be installed), so non-ASCII names survive.
    export LC_CTYPE=C.UTF-8
    export WINEDEBUG=${WINEDEBUG:--all}
    export WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree=d;mshtml=d"
    if [ -f "$WINEPREFIX/.setup-ready" ]; then
        wine_keep_server
        return 0
    fi
    (
        flock 9
        if [ ! -f "$WINEPREFIX/.setup-ready" ]; then
            rm -rf "$WINEPREFIX"
            wine_template "$build/wine-template"
            cp -a "$build/wine-template/prefix" "$WINEPREFIX"
            # The folders Wine links to HOME (Desktop, Documents, ...) still
            # lead to the template's.
            local link target
            while IFS= read -r link; do
                target=$(readlink "$link")
                case $target in "$build/wine-template/home"*)
                    ln -sfn "$HOME${target#"$build/wine-template/home"}" "$link" ;;
                esac
            done < <(find "$WINEPREFIX/drive_c/users" -type l)
            rm -f "$WINEPREFIX/dosdevices/z:"
            ln -sfn "$src" "$WINEPREFIX/dosdevices/s:"
            ln -sfn "$build" "$WINEPREFIX/dosdevices/b:"
            touch "$WINEPREFIX/.setup-ready"
        fi
    ) 9>"$root/.prefix.lock"
    wine_keep_server
}

# wine_template DIR: DIR/prefix, booted once by wineboot (with DIR/home as
# its HOME) for every prefix of a build tree to start as a copy of. Booting
# a prefix takes 20 s and more of a busy machine; copying one, a second.
wine_template() {
    local dir=$1
    mkdir -p "$dir"
    (
        flock 8
        if [ ! -f "$dir/.ready" ]; then
            rm -rf "$dir/prefix" "$dir/home"
            mkdir -p "$dir/home"
            HOME=$dir/home WINEPREFIX=$dir/prefix DISPLAY= "$WINE_BIN" wineboot -i >/dev/null 2>&1 || true
            WINEPREFIX=$dir/prefix "$WINESERVER_BIN" -w
            touch "$dir/.ready"
        fi
    ) 8>"$dir/.lock"
}

# A prefix's server normally quits a few seconds after its last program; a
# program that starts just then cannot reach it. Test runs start many short
# programs one after the other, so the server stays up for a while instead.
#
# The first program of a server session also boots the session: it starts
# "wineboot --init" with its own standard error, and the services and drivers
# that wineboot starts keep that handle, and the server a copy of the file
# descriptor, until the session ends, 30 s after the last program of the
# prefix. A test runner that waits for the end of a test's output (CTest does)
# would then count the rest of the session in that one test's time, and fail
# it on its timeout although every case passed. So a program with its output
# going nowhere runs first: it boots a new session itself, or waits until the
# running one has booted, and the program to run is never the first one.
wine_keep_server() {
    "$WINESERVER_BIN" -p30 </dev/null >/dev/null 2>&1 || true
    "$WINE_BIN" cmd /c exit </dev/null >/dev/null 2>&1 || true
}

# Ends the prefix's server (it writes the registry out as it goes) and starts
# a new session as wine_keep_server does, so that registry changes made just
# before take effect for the next program. Waiting for the old server to quit
# by itself would take its whole persistence time.
wine_restart_server() {
    "$WINESERVER_BIN" -k >/dev/null 2>&1 || true
    "$WINESERVER_BIN" -w
    wine_keep_server
}

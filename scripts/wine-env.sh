# Sourced by the scripts that run Windows programs under Wine.
#
# wine_env_init ROOT SOURCE_DIR [BUILD_DIR]
#   Uses ROOT/prefix as WINEPREFIX and ROOT/home as HOME, so Wine never touches
#   the user's own home folder (Wine links the Desktop and the documents folders
#   to $HOME). The prefix is made once; its Z: drive, which Wine maps to "/", is
#   removed, and S: (sources) and B: (build tree) are mapped instead.
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
            DISPLAY= "$WINE_BIN" wineboot -i >/dev/null 2>&1 || true
            "$WINESERVER_BIN" -w
            rm -f "$WINEPREFIX/dosdevices/z:"
            ln -sfn "$src" "$WINEPREFIX/dosdevices/s:"
            ln -sfn "$build" "$WINEPREFIX/dosdevices/b:"
            touch "$WINEPREFIX/.setup-ready"
        fi
    ) 9>"$root/.prefix.lock"
    wine_keep_server
}

# A prefix's server normally quits a few seconds after its last program; a
# program that starts just then cannot reach it. Test runs start many short
# programs one after the other, so the server stays up for a while instead.
wine_keep_server() {
    "$WINESERVER_BIN" -p30 >/dev/null 2>&1 || true
}

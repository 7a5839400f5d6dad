#!/usr/bin/env bash
# The drive list against the drives of a Wine prefix of its own (so that the
# other runs keep their drives): C: and a second fixed drive D: (a folder in
# the build tree), then D: as the only fixed drive. Wine takes drive types
# from HKLM\Software\Wine\Drives when its mount manager starts; S: and B:
# (sources and build tree) are marked as network drives so they are not
# listed as fixed.
#   run-drives-e2e.sh SOURCE_DIR BUILD_DIR TEST_EXE SETUP_EXE
set -euo pipefail
src=$1 build=$2 test_exe=$3 setup_exe=$4
. "$src/scripts/wine-env.sh"
. "$src/scripts/wine-gui.sh"
export LANG=C.UTF-8
wine_env_init "$build/wine-drives" "$src" "$build"
wine_link_fonts
wine_virtual_desktop 1024x768
mkdir -p "$build/wine-drives/d" "$build/wine-drives/e"
ln -sfn "$build/wine-drives/d" "$WINEPREFIX/dosdevices/d:"

# set_drive_types c:TYPE d:TYPE ...: writes the types and restarts Wine, so
# its mount manager reads them.
set_drive_types() {
    local pair
    for pair in "$@"; do
        DISPLAY= "$WINE_BIN" reg add 'HKLM\Software\Wine\Drives' /v "${pair%%=*}" /d "${pair#*=}" /f >/dev/null 2>&1
    done
    wine_restart_server
}

# E: comes and goes while the wizard runs.
export SETUP_EXE E2E_DRIVES E2E_DRIVE_E=$build/wine-drives/e
SETUP_EXE=$(wine_build_path "$build" "$setup_exe")
test_win=$(wine_build_path "$build" "$test_exe")
# No E: left over from an earlier run that ended early.
DISPLAY= "$WINE_BIN" reg delete 'HKLM\Software\Wine\Drives' /v e: /f >/dev/null 2>&1 || true
rm -f "$WINEPREFIX/dosdevices/e:"
status=0
set_drive_types s:=network b:=network c:=hd d:=hd
E2E_DRIVES=CD xvfb-run -a -s "-screen 0 1024x768x24" "$WINE_BIN" "$test_win" || status=$?
set_drive_types c:=cdrom
E2E_DRIVES=D xvfb-run -a -s "-screen 0 1024x768x24" "$WINE_BIN" "$test_win" || status=$?
"$WINESERVER_BIN" -k >/dev/null 2>&1 || true
exit $status

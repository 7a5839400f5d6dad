#!/usr/bin/env bash
# Runs the wizard's end-to-end tests: a private Wine prefix (no Z: drive, HOME
# in the build tree) with a virtual desktop, on an X display of its own.
#   run-e2e.sh SOURCE_DIR BUILD_DIR TEST_EXE SETUP_EXE
set -euo pipefail
src=$1 build=$2 test_exe=$3 setup_exe=$4
. "$src/scripts/wine-env.sh"
. "$src/scripts/wine-gui.sh"
# The wizard shows its own Dutch texts when no catalog matches the language;
# LANG=C picks none, whatever the machine's locale.
export LANG=C.UTF-8
wine_env_init "$build/wine-e2e" "$src" "$build"
wine_link_fonts
wine_virtual_desktop 1024x768
export SETUP_EXE
SETUP_EXE=$(wine_build_path "$build" "$setup_exe")
status=0
xvfb-run -a -s "-screen 0 1024x768x24" "$WINE_BIN" "$(wine_build_path "$build" "$test_exe")" || status=$?
"$WINESERVER_BIN" -k >/dev/null 2>&1 || true
exit $status

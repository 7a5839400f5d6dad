#!/usr/bin/env bash
# Walks through the wizard's visible pages under Wine on the current X display
# and leaves a screenshot of each in SHOT_DIR:
#   walk-pages.sh SOURCE_DIR BUILD_DIR SHOT_DIR
# Start, Locatie, ProxySettings, the Cancel question, then Yes: the abort page.
set -euo pipefail
src=$1 build=$2 shots=$3
. "$src/scripts/wine-env.sh"
. "$src/scripts/wine-gui.sh"
wine_env_init "$build/wine-walk" "$src" "$build"
wine_link_fonts
wine_virtual_desktop 1024x768
wizard_walk_begin "$build" "$shots"

drv wait-page 1 && shot page1-start
drv click next && drv wait-page 2 && shot page2-locatie
drv click next && drv wait-page 3 && shot page3-proxysettings
drv click cancel && drv wait-dialog >/dev/null && shot cancel-question
drv answer yes && drv wait-page 8 && shot page8-abort
drv state
drv click finish
wait $setup_pid

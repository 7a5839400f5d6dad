#!/usr/bin/env bash
# Installs the demo through the wizard by itself on the current X display:
#   demo-walk.sh SOURCE_DIR BUILD_DIR SHOT_DIR
# Start, Locatie, ProxySettings, Next: the progress page while the archives
# download, then the completion page; a screenshot of each page in SHOT_DIR.
set -euo pipefail
src=$1 build=$2 shots=$3
. "$src/scripts/wine-env.sh"
. "$src/scripts/wine-gui.sh"
wine_env_init "$build/wine-demo" "$src" "$build"
wine_link_fonts
wine_virtual_desktop 1024x768
wizard_walk_begin "$build" "$shots"

drv wait-page 1 && shot page1-start
drv click next && drv wait-page 2 && shot page2-locatie
drv click next && drv wait-page 3 && shot page3-proxysettings
# While the run works the wizard handles no messages, so nothing may ask it
# anything: the click (which returns when the run has ended) goes in the
# background and the progress page is taken at the place the form had.
WIZARD_RECT=$(drv rect | tr -d '\r')
drv click next &
click_pid=$!
sleep 1.5 && shot page4-installmain
wait $click_pid
WIZARD_RECT=
drv wait-page 7 && shot page7-einde
drv state
drv click finish
wait $setup_pid

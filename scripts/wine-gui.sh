# Sourced after scripts/wine-env.sh (and wine_env_init), by the scripts that
# show Windows programs.

# wine_link_fonts: makes Wine's own fonts (Tahoma, Marlett, ... from the
# fonts-wine package) available to the current prefix. Without them Wine
# substitutes another family, with other widths, and draws the title-bar
# glyphs as letters. The bold Tahoma file is left out: at the small sizes of
# the wizard it renders as thin as the regular face, while Wine's emboldened
# regular face looks as a bold title should.
wine_link_fonts() {
    local f
    mkdir -p "$WINEPREFIX/drive_c/windows/Fonts"
    for f in /usr/share/wine/fonts/*.ttf; do
        [ "$(basename "$f")" = tahomabd.ttf ] && continue
        [ -e "$f" ] || continue
        [ -e "$WINEPREFIX/drive_c/windows/Fonts/$(basename "$f")" ] ||
            ln -s "$f" "$WINEPREFIX/drive_c/windows/Fonts/"
    done
}

# wine_virtual_desktop WIDTHxHEIGHT
#   Makes every program of the current prefix open inside one Wine virtual
#   desktop of that size. Wine then draws the window frames and title bars
#   itself, so they show on a bare X server (xvfb) that has no window manager.
wine_virtual_desktop() {
    local size=$1
    [ -f "$WINEPREFIX/.desktop-$size" ] && return 0
    DISPLAY= "$WINE_BIN" reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null 2>&1
    DISPLAY= "$WINE_BIN" reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d "$size" /f >/dev/null 2>&1
    wine_restart_server
    rm -f "$WINEPREFIX"/.desktop-*
    touch "$WINEPREFIX/.desktop-$size"
}

# wine_build_path BUILD_DIR PATH: the B: drive path of a file in the build tree.
wine_build_path() {
    local rel=${2#"$1"/}
    printf 'B:\\%s' "${rel//\//\\}"
}

# wine_shipped_setup BUILD_DIR: Setup.exe as a shop receives it, the build's
# one file (catalogs appended) copied alone into BUILD_DIR/ship, without a
# locale folder or its symbols beside it; prints the copy's path. With
# SETUP_SHIP_FROM set, that build of the wizard is the one copied.
wine_shipped_setup() {
    local ship=$1/ship
    rm -rf "$ship"
    mkdir -p "$ship"
    cp "${SETUP_SHIP_FROM:-$1/setup/Setup.exe}" "$ship/Setup.exe"
    printf '%s\n' "$ship/Setup.exe"
}

# wizard_walk_begin BUILD_DIR SHOT_DIR: starts the shipped Setup.exe and
# defines `drv ARGS` (one step of tests/e2e's wizard_driver) and `shot NAME`
# (a screenshot of the form into SHOT_DIR/NAME.png; with WIZARD_RECT set,
# that place is taken without asking the form, which answers nothing while
# the installation run works). Setup's process id is in setup_pid; it and the
# prefix's programs are ended when the script exits.
wizard_walk_begin() {
    local build=$1
    wizard_shots=$2
    wizard_driver_path=$(wine_build_path "$build" "$build/tests/e2e/wizard_driver.exe")
    mkdir -p "$wizard_shots"
    rm -f "$wizard_shots"/*.png
    local exe
    exe=$(wine_shipped_setup "$build")
    "$WINE_BIN" "$(wine_build_path "$build" "$exe")" &
    setup_pid=$!
    trap 'kill $setup_pid 2>/dev/null || true; "$WINESERVER_BIN" -k >/dev/null 2>&1 || true' EXIT
}
drv() { "$WINE_BIN" "$wizard_driver_path" "$@"; }
shot() {
    sleep 0.5 # let the last repaint reach the screen
    import -window root -crop "${WIZARD_RECT:-$(drv rect | tr -d '\r')}" +repage "$wizard_shots/$1.png"
    echo "screenshot: $wizard_shots/$1.png"
}

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
    "$WINESERVER_BIN" -w
    rm -f "$WINEPREFIX"/.desktop-*
    touch "$WINEPREFIX/.desktop-$size"
}

# wine_build_path BUILD_DIR PATH: the B: drive path of a file in the build tree.
wine_build_path() {
    local rel=${2#"$1"/}
    printf 'B:\\%s' "${rel//\//\\}"
}

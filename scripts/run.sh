#!/usr/bin/env bash
# Installs what is missing, builds the Windows program and the demo download
# content, starts the demo download server (nginx on 127.0.0.1) and runs the
# wizard under Wine (private prefix and HOME in build/windows/wine-demo): the
# one Setup.exe a shop receives, alone in build/windows/ship, its catalogs
# appended to it.
# With a screen (DISPLAY set) the wizard opens there and you click through it;
# without one it installs by itself on a private X display and leaves a
# screenshot of each page in build/screenshots/. Afterwards it prints what was
# installed, the settings file and the shortcut.
# With DEMO_HTTPS=1 the download goes over HTTPS: the demo server serves
# https://localhost:8743/ with a certificate of a demo certification
# authority made in build/windows/demo/certs, which the demo's Wine prefix
# trusts as a root (as a shop's Windows trusts a public one), and the wizard
# is the build of it whose base URL is that server.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
src=$PWD
build=$src/build/windows
scripts/install-deps.sh
cmake --preset windows >/dev/null
targets=(SetupExe wizard_driver demo_archives)
[ "${DEMO_HTTPS:-0}" = 1 ] && targets+=(SetupHttpsDemo trust_root)
cmake --build --preset windows --target "${targets[@]}" -j"$(nproc)"

. scripts/wine-env.sh
. scripts/wine-gui.sh
wine_env_init "$build/wine-demo" "$src" "$build"
wine_link_fonts
target=$WINEPREFIX/drive_c/TORVELINNEW
rm -rf "$target" "$HOME/Torvelin.lnk" "$HOME/Desktop/Torvelin.lnk"

# Slow enough that the progress bar can be seen moving.
if [ "${DEMO_HTTPS:-0}" = 1 ]; then
    https_url=$(sed -n 's/^SETUP_HTTPS_DEMO_BASE_URL:[A-Z]*=//p' "$build/CMakeCache.txt")
    https_port=${https_url#https://localhost:} https_port=${https_port%/}
    bash scripts/make-certs.sh "$build/demo/certs"
    DISPLAY= "$WINE_BIN" "$(wine_build_path "$build" "$build/tests/e2e/trust_root.exe")" \
        "$(wine_build_path "$build" "$build/demo/certs/ca.der")"
    export SETUP_SHIP_FROM=$build/setup/SetupHttpsDemo.exe
    scripts/demo-server.sh start "$build/demo/www" "$https_port" "${DEMO_RATE:-60000}" "$build/demo/certs"
else
    scripts/demo-server.sh start "$build/demo/www" 8731 "${DEMO_RATE:-60000}"
fi
trap 'scripts/demo-server.sh stop' EXIT

if [ -n "${DISPLAY:-}" ]; then
    "$WINE_BIN" "$(wine_build_path "$build" "$(wine_shipped_setup "$build")")" || true
else
    xvfb-run -a -s "-screen 0 1024x768x24" scripts/demo-walk.sh "$src" "$build" "$src/build/screenshots"
fi

echo
echo "=== Installed in C:\\TORVELINNEW\\ ($target)"
ls -l "$target" 2>/dev/null || echo "(nothing: the installation did not complete)"
echo
echo "=== SETUP.INI"
cat "$target/SETUP.INI" 2>/dev/null | tr -d '\r' || echo "(none)"
echo
link=$(find "$HOME" -name Torvelin.lnk 2>/dev/null | head -n 1)
echo "=== Desktop shortcut ${link:-(none)}"
[ -n "$link" ] && lnkinfo "$link" | grep -E 'Local path|Working directory|Description' || true

#!/usr/bin/env bash
# Installs what is missing, builds the Windows program and runs the wizard
# under Wine (private prefix and HOME in the build tree). With a screen
# (DISPLAY set) the wizard opens there; without one it walks through its pages
# by itself on a private X display and leaves a screenshot of each page in
# build/screenshots/.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
src=$PWD
build=$src/build/windows
scripts/install-deps.sh
cmake --preset windows >/dev/null
cmake --build --preset windows --target SetupExe wizard_driver -j"$(nproc)"

. scripts/wine-env.sh
. scripts/wine-gui.sh
if [ -n "${DISPLAY:-}" ]; then
    wine_env_init "$build/wine-demo" "$src" "$build"
    wine_link_fonts
    exec "$WINE_BIN" "$(wine_build_path "$build" "$build/setup/Setup.exe")"
fi
exec xvfb-run -a -s "-screen 0 1024x768x24" \
    tests/e2e/walk-pages.sh "$src" "$build" "$src/build/screenshots"

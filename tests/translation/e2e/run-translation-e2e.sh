#!/usr/bin/env bash
# Runs the translated-wizard checks under Wine on the shipped Setup.exe (its
# catalogs appended): alone in a folder without locale, with a locale folder
# beside it for another language, and with a catalog beside it that does not
# declare UTF-8.
#   run-translation-e2e.sh SOURCE_DIR BUILD_DIR TEST_EXE SETUP_EXE
set -euo pipefail
src=$1 build=$2 test_exe=$3 setup_exe=$4
. "$src/scripts/wine-env.sh"
. "$src/scripts/wine-gui.sh"
wine_env_init "$build/wine-e2e-translation" "$src" "$build"
wine_link_fonts
wine_virtual_desktop 1024x768

# The shipped Setup.exe alone in a folder: its catalogs are appended to it.
appended_dir=$build/tests/translation/e2e-appended
rm -rf "$appended_dir"
mkdir -p "$appended_dir"
cp "$setup_exe" "$appended_dir/Setup.exe"

# The same file with a locale folder beside it, for a language it does not
# carry (the German test catalog).
beside_dir=$build/tests/translation/e2e-beside
rm -rf "$beside_dir"
mkdir -p "$beside_dir/locale/de/LC_MESSAGES"
cp "$setup_exe" "$beside_dir/Setup.exe"
cp "$src/tests/data/translation/sample.mo" "$beside_dir/locale/de/LC_MESSAGES/default.mo"

latin1_dir=$build/tests/translation/e2e-latin1
rm -rf "$latin1_dir"
mkdir -p "$latin1_dir/locale/xx/LC_MESSAGES"
cp "$setup_exe" "$latin1_dir/Setup.exe"
cp "$src/tests/data/translation/latin1.mo" "$latin1_dir/locale/xx/LC_MESSAGES/default.mo"

export SETUP_EXE SETUP_EXE_APPENDED SETUP_EXE_BESIDE SETUP_EXE_LATIN1
SETUP_EXE=$(wine_build_path "$build" "$setup_exe")
SETUP_EXE_APPENDED=$(wine_build_path "$build" "$appended_dir/Setup.exe")
SETUP_EXE_BESIDE=$(wine_build_path "$build" "$beside_dir/Setup.exe")
SETUP_EXE_LATIN1=$(wine_build_path "$build" "$latin1_dir/Setup.exe")
status=0
xvfb-run -a -s "-screen 0 1024x768x24" "$WINE_BIN" "$(wine_build_path "$build" "$test_exe")" || status=$?
"$WINESERVER_BIN" -k >/dev/null 2>&1 || true
exit $status

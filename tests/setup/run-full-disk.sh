#!/usr/bin/env bash
# Runs full_disk_tests against a file system that fills up: a tmpfs of 1 MiB
# mounted in a mount namespace of the test's own (so nothing is mounted for
# anyone else, and the mount goes with the test's processes), and an archive
# made here by Info-ZIP zip whose 2 MiB entry cannot fit in it. Under Wine the
# program gets a prefix of its own whose server starts inside the namespace,
# the only place the mount can be seen.
#   run-full-disk.sh SOURCE_DIR BUILD_DIR TEST_EXE
# Exits 77 (skipped) where no mount namespace can be made.
set -euo pipefail
src=$1 build=$2 exe=$3
work=$(dirname "$exe")/full-disk

if [ -z "${FULL_DISK_NS:-}" ]; then
    flags=-m
    [ "$(id -u)" -eq 0 ] || flags=-rm
    if ! command -v unshare >/dev/null || ! unshare $flags true 2>/dev/null; then
        echo "no mount namespace can be made here: skipped"
        exit 77
    fi
    FULL_DISK_NS=1 exec unshare $flags "$0" "$@"
fi

rm -rf "$work/make" && mkdir -p "$work/make" "$work/full"
mount -t tmpfs -o size=1m tmpfs "$work/full"
head -c 2097152 /dev/zero >"$work/make/BIG.DAT"
printf small >"$work/make/A.TXT"
rm -f "$work/full.zip"
(cd "$work/make" && zip -q -9 ../full.zip A.TXT BIG.DAT)

case $exe in
*.exe)
    . "$src/scripts/wine-env.sh"
    # A server of this prefix left from an earlier run lives in that run's
    # namespace and would not see this mount.
    WINEPREFIX=$work/wine/prefix "$WINESERVER_BIN" -k >/dev/null 2>&1 || true
    WINEPREFIX=$work/wine/prefix "$WINESERVER_BIN" -w >/dev/null 2>&1 || true
    wine_env_init "$work/wine" "$src" "$build"
    rel=${work#"$build"/}
    win=B:\\${rel//\//\\}
    export SETUP_TEST_FULL_DIR="$win\\full" SETUP_TEST_FULL_ARCHIVE="$win\\full.zip"
    exec "$WINE_BIN" "$exe"
    ;;
*)
    export SETUP_TEST_FULL_DIR=$work/full SETUP_TEST_FULL_ARCHIVE=$work/full.zip
    exec "$exe"
    ;;
esac

#!/usr/bin/env bash
# The maker's release, in one command:
#
#   scripts/release.sh OUT
#
# builds Setup.exe for a release (the release's public key built in, the
# catalogs appended, then Authenticode-signed) as OUT/Setup.exe, and writes
# the download server's tree OUT/zividezeru/Files/ with main.zip, upgrade.zip
# and their signed manifest release.txt. Upload the tree to the server's root
# and hand out OUT/Setup.exe.
#
# From the environment:
#   RELEASE_KEY                the manifest's P-256 private key (PEM; make one
#                              once with signmanifest keygen). Required.
#   RELEASE_NEXT_KEY           the public key (PEM) of the key that will follow,
#                              trusted as well, so a later release may be signed
#                              with it without a new Setup.exe failing
#   RELEASE_SERIAL             the release's serial number (default: the UTC time
#                              as YYYYMMDDHHMM, so each release is above the last)
#   RELEASE_MIN_SERIAL         the lowest serial this Setup.exe accepts (default:
#                              RELEASE_SERIAL: it never takes an older release)
#   RELEASE_EXPIRES            when the manifest stops being accepted
#                              (YYYY-MM-DD or YYYY-MM-DDThh:mm:ssZ); none by default
#   RELEASE_ARCHIVES           a folder holding main.zip and upgrade.zip (default:
#                              the demo's, built on the way)
#   RELEASE_BASE_URL           the download server's root URL, ending in "/"
#                              (default: the build's, http://127.0.0.1:8731/)
#   RELEASE_CODESIGN_P12       a PKCS#12 file with the code-signing certificate,
#   RELEASE_CODESIGN_PASSWORD  its chain and key, and its password; without
#                              them Setup.exe stays unsigned and this says so
#   RELEASE_TIMESTAMP_URL      an RFC 3161 time-stamp server for the signature
#   RELEASE_BUILD_DIR          the build folder (default build/release)
set -euo pipefail
src=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

fail() {
    echo "release: $*" >&2
    exit 1
}
# The code-signing password reaches osslsigncode through a file that only
# this user can read, never on a command line, where every user of the
# machine sees it in the process list; the file goes on every exit (bash runs
# this trap on an error, on exit and when a signal ends the script).
pass_file=
trap '[ -z "$pass_file" ] || rm -f "$pass_file"' EXIT
# Nor is it handed down in the environment of every program started here.
[ -z "${RELEASE_CODESIGN_PASSWORD+set}" ] || export -n RELEASE_CODESIGN_PASSWORD
[ $# -eq 1 ] || fail "usage: scripts/release.sh OUT"
out=$(mkdir -p "$1" && cd "$1" && pwd) || fail "cannot make the output folder $1"

"$src/scripts/install-deps.sh"
cd "$src" # the presets are read from the source folder

# ---- the inputs, checked before anything is built
[ -n "${RELEASE_KEY:-}" ] || fail "RELEASE_KEY must name the release's private key (PEM)"
[ -r "$RELEASE_KEY" ] || fail "cannot read the release key $RELEASE_KEY"
[ -z "${RELEASE_NEXT_KEY:-}" ] || [ -r "$RELEASE_NEXT_KEY" ] ||
    fail "cannot read the next key $RELEASE_NEXT_KEY"
serial=${RELEASE_SERIAL:-$(date -u +%Y%m%d%H%M)}
min_serial=${RELEASE_MIN_SERIAL:-$serial}
[[ $serial =~ ^[0-9]+$ && $min_serial =~ ^[0-9]+$ ]] ||
    fail "RELEASE_SERIAL and RELEASE_MIN_SERIAL must be whole numbers"
[ "$serial" -ge "$min_serial" ] ||
    fail "the release's serial $serial is below the minimum $min_serial this Setup.exe would take"
if [ -n "${RELEASE_ARCHIVES:-}" ]; then
    for f in main.zip upgrade.zip; do
        [ -r "$RELEASE_ARCHIVES/$f" ] || fail "RELEASE_ARCHIVES has no readable $f ($RELEASE_ARCHIVES)"
    done
fi
codesign=
if [ -n "${RELEASE_CODESIGN_P12:-}" ]; then
    [ -r "$RELEASE_CODESIGN_P12" ] || fail "cannot read the code-signing file $RELEASE_CODESIGN_P12"
    [ -n "${RELEASE_CODESIGN_PASSWORD+set}" ] ||
        fail "RELEASE_CODESIGN_PASSWORD must be set with RELEASE_CODESIGN_P12"
    codesign=1
fi
build=${RELEASE_BUILD_DIR:-$src/build/release}
mkdir -p "$build"
build=$(cd "$build" && pwd)

# ---- the public keys built in: the release's own, and the next one
keys=$build/keys
mkdir -p "$keys"
openssl pkey -in "$RELEASE_KEY" -pubout -out "$keys/current.pub.pem" 2>/dev/null ||
    fail "RELEASE_KEY is not a private key in PEM form ($RELEASE_KEY)"
trusted=$keys/current.pub.pem
if [ -n "${RELEASE_NEXT_KEY:-}" ]; then
    cp "$RELEASE_NEXT_KEY" "$keys/next.pub.pem"
    trusted="$trusted;$keys/next.pub.pem"
fi

# ---- Setup.exe: the Windows build with these keys and this server
# The cross-built decoder libraries of an earlier Windows build are reused.
if [ ! -d "$build/codecs/prefix" ] && [ -d "$src/build/windows/codecs/prefix" ]; then
    mkdir -p "$build/codecs" && cp -a "$src/build/windows/codecs/prefix" "$build/codecs/"
fi
base_url=()
[ -z "${RELEASE_BASE_URL:-}" ] || base_url=(-DSETUP_DOWNLOAD_BASE_URL="$RELEASE_BASE_URL")
cmake --preset windows -B "$build" -DSETUP_BUILD_TESTS=OFF -DSETUP_DEMO_RELEASE_KEYS=OFF \
    -DSETUP_RELEASE_KEYS="$trusted" -DSETUP_RELEASE_MIN_SERIAL="$min_serial" "${base_url[@]}" \
    >"$build/configure.log" 2>&1 || { cat "$build/configure.log" >&2; fail "configuring the build failed"; }
targets=(SetupExe host_tools)
[ -n "${RELEASE_ARCHIVES:-}" ] || targets+=(demo_archives)
cmake --build "$build" --target "${targets[@]}" -j"$(nproc)" >"$build/build.log" 2>&1 ||
    { tail -40 "$build/build.log" >&2; fail "building Setup.exe failed (log: $build/build.log)"; }
signmanifest=$build/host-tools/tools/signmanifest/signmanifest
archives=${RELEASE_ARCHIVES:-$build/demo/www/zividezeru/Files}

# ---- Authenticode: the catalogs are appended already, so the signature
# covers them; its certificate table follows them at the end of the file.
if [ -n "$codesign" ]; then
    timestamp=()
    [ -z "${RELEASE_TIMESTAMP_URL:-}" ] || timestamp=(-ts "$RELEASE_TIMESTAMP_URL")
    rm -f "$out/Setup.exe"
    pass_file=$(mktemp) # mode 600; printf is a builtin, so no command line holds it either
    printf '%s' "$RELEASE_CODESIGN_PASSWORD" >"$pass_file"
    osslsigncode sign -pkcs12 "$RELEASE_CODESIGN_P12" -readpass "$pass_file" \
        -h sha256 -n "Torvelin Setup" "${timestamp[@]}" \
        -in "$build/setup/Setup.exe" -out "$out/Setup.exe" >"$build/sign.log" 2>&1 ||
        { cat "$build/sign.log" >&2; fail "signing Setup.exe failed"; }
    rm -f "$pass_file"
else
    cp "$build/setup/Setup.exe" "$out/Setup.exe"
fi

# ---- the download server's tree and its signed manifest
files=$out/zividezeru/Files
rm -rf "$files"
mkdir -p "$files"
cp "$archives/main.zip" "$archives/upgrade.zip" "$files/"
expires=()
[ -z "${RELEASE_EXPIRES:-}" ] || expires=(--expires "$RELEASE_EXPIRES")
"$signmanifest" sign --key "$RELEASE_KEY" --serial "$serial" "${expires[@]}" \
    --out "$files/release.txt" "$files" >/dev/null
# Checked as the wizard will check it, with the keys it was built with.
verify_keys=(--key "$keys/current.pub.pem")
[ -z "${RELEASE_NEXT_KEY:-}" ] || verify_keys+=(--key "$keys/next.pub.pem")
"$signmanifest" verify "${verify_keys[@]}" --min-serial "$min_serial" "$files" >/dev/null ||
    fail "the manifest just signed does not pass the wizard's check"

echo "release $serial (Setup.exe takes serial $min_serial and later):"
echo "  $out/Setup.exe  $(stat -c %s "$out/Setup.exe") bytes, for ${RELEASE_BASE_URL:-the default base URL of the build}"
for f in main.zip upgrade.zip release.txt; do
    echo "  $files/$f  $(stat -c %s "$files/$f") bytes"
done
if [ -n "$codesign" ]; then
    echo "Setup.exe is Authenticode-signed (SHA-256${RELEASE_TIMESTAMP_URL:+, time-stamped})."
else
    echo "WARNING: Setup.exe is NOT code-signed (no RELEASE_CODESIGN_P12): Windows will call its" >&2
    echo "publisher unknown and SmartScreen may block it. Sign releases that leave this machine." >&2
fi

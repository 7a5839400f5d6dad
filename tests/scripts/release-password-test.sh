#!/usr/bin/env bash
# scripts/release.sh keeps the code-signing password secret: osslsigncode gets
# it from a file that only the user can read, no process on the machine has
# it on its command line or in its environment, and the file is gone when the
# script ends: after a signature, after a failed one, and when the script is
# terminated while signing.
#   release-password-test.sh SOURCE_DIR WORK_DIR
# The build (cmake), the manifest tool and osslsigncode are stand-ins, first
# on PATH or in the build folder the script is given; the script, openssl and
# the package check are the real ones. The stand-in osslsigncode records what
# every user could see while it runs.
set -euo pipefail
src=$1 work=$2
rm -rf "$work"
mkdir -p "$work/bin" "$work/build/setup" "$work/build/host-tools/tools/signmanifest" \
    "$work/archives" "$work/tmp" "$work/record"
# Unique to this run, so that a match anywhere in the process list is ours.
password="pkcs12-secret-$$-$RANDOM$RANDOM"

printf '#!/bin/sh\nexit 0\n' >"$work/bin/cmake"
cat >"$work/build/host-tools/tools/signmanifest/signmanifest" <<'STANDIN'
#!/bin/sh
# sign ... --out FILE DIR writes FILE; verify passes.
while [ $# -gt 0 ]; do
    [ "$1" = --out ] && echo "release-manifest 1" >"$2"
    shift
done
exit 0
STANDIN
cat >"$work/bin/osslsigncode" <<'STANDIN'
#!/usr/bin/env bash
# Records its own command line, the command lines and environments on the
# machine that hold the password (but for its parent's, the release script's
# own, where the maker put it), and the pass file's mode and content.
rec=$STANDIN_RECORD
pass= out=
while [ $# -gt 0 ]; do
    case $1 in
    -readpass) pass=$2 ;;
    -out) out=$2 ;;
    esac
    shift
done
tr '\0' ' ' </proc/$$/cmdline >"$rec/own-cmdline"
grep -laF -f "$rec/password" /proc/[0-9]*/cmdline /proc/[0-9]*/environ 2>/dev/null |
    grep -vx "/proc/$PPID/environ" >"$rec/leaks"
if [ -n "$pass" ]; then
    stat -c %a "$pass" >"$rec/mode"
    cat "$pass" >"$rec/content"
fi
case ${STANDIN_END:-} in
fail) exit 1 ;;
term) kill -TERM $PPID; exit 1 ;;
esac
echo signed >"$out"
STANDIN
chmod +x "$work/bin/cmake" "$work/bin/osslsigncode" "$work/build/host-tools/tools/signmanifest/signmanifest"
echo "not a program" >"$work/build/setup/Setup.exe"
echo zip >"$work/archives/main.zip"
echo zip >"$work/archives/upgrade.zip"
echo "not a certificate" >"$work/signer.p12"
openssl genpkey -algorithm EC -pkeyopt ec_paramgen_curve:P-256 -out "$work/release.pem" 2>/dev/null

status=0
check() { # DESCRIPTION COMMAND...
    local what=$1
    shift
    if "$@"; then echo "ok: $what"; else echo "FAILED: $what" >&2; status=1; fi
}
no_leaks() { [ -f "$work/record/leaks" ] && [ ! -s "$work/record/leaks" ]; }
mode_600() { [ "$(cat "$work/record/mode" 2>/dev/null)" = 600 ]; }
content_is_password() { [ "$(cat "$work/record/content" 2>/dev/null)" = "$password" ]; }
nothing_left() { [ -z "$(ls -A "$work/tmp")" ] && ! grep -rqF -- "$password" "$work/out" "$work/build"; }
own_command_line() { [ -s "$work/record/own-cmdline" ] && ! grep -qF -- "$password" "$work/record/own-cmdline"; }

for end in success fail term; do
    rm -f "$work/record/"*
    printf '%s\n' "$password" >"$work/record/password"
    rm -rf "$work/out"
    rc=0
    env PATH="$work/bin:$PATH" TMPDIR="$work/tmp" STANDIN_RECORD="$work/record" \
        STANDIN_END="$end" RELEASE_KEY="$work/release.pem" \
        RELEASE_SERIAL=7 RELEASE_ARCHIVES="$work/archives" RELEASE_BUILD_DIR="$work/build" \
        RELEASE_CODESIGN_P12="$work/signer.p12" RELEASE_CODESIGN_PASSWORD="$password" \
        "$src/scripts/release.sh" "$work/out" >"$work/release-$end.log" 2>&1 || rc=$?
    if [ "$end" = success ]; then
        check "$end: the release is made" [ "$rc" -eq 0 ]
    else
        check "$end: the release fails" [ "$rc" -ne 0 ]
        [ "$rc" -ne 0 ] || cat "$work/release-$end.log" >&2
    fi
    check "$end: osslsigncode's command line does not hold the password" own_command_line
    check "$end: no other command line or environment holds it" no_leaks
    [ ! -s "$work/record/leaks" ] || sed 's/^/  seen in /' "$work/record/leaks" >&2
    check "$end: osslsigncode reads it from a file of mode 600" mode_600
    check "$end: the file holds the password as it is" content_is_password
    check "$end: the file is gone and nothing else holds the password" nothing_left
done
exit $status

#!/usr/bin/env bash
# The maker's release end to end:
#   run-release-e2e.sh SOURCE_DIR BUILD_DIR PLANTED_DLL
# 1. A test CA, a code-signing certificate it issues (PKCS#12) and a manifest
#    key, all made here; scripts/release.sh builds and signs a release with
#    them for a download server on loopback.
# 2. osslsigncode accepts the signature against the test CA and refuses copies
#    with one byte changed: in the program, and in the catalogs appended
#    before signing.
# 3. Under Wine, the signed Setup.exe alone in a folder asks the Cancel
#    question in French with LANG=fr (its catalogs found behind the
#    signature), then installs the release through a proxy of the test's own.
# 4. With copies of PLANTED_DLL beside it under the names of the DLLs that the
#    wizard, COM, the shell and the common controls load, a whole
#    installation completes and none of the copies is loaded.
# Like the other e2e runs it takes a network namespace of its own where the
# system allows it, so its fixed loopback port meets no other server.
set -euo pipefail
src=$1 build=$2 planted=$3

if [ -z "${RELEASE_E2E_NETNS:-}" ] && command -v unshare >/dev/null && unshare -nm true 2>/dev/null; then
    exec unshare -nm env RELEASE_E2E_NETNS=1 bash -c 'ip link set lo up && exec "$0" "$@"' "$0" "$@"
fi

work=$build/release-e2e
port=8751
status=0
check() { # DESCRIPTION COMMAND...: runs it, reports and remembers a failure
    local what=$1
    shift
    if "$@"; then echo "ok: $what"; else echo "FAILED: $what" >&2; status=1; fi
}
rm -rf "$work/out" "$work/certs" "$work/keys" "$work/apps" "$work/logs" "$work/tmp"
mkdir -p "$work/certs" "$work/keys" "$work/apps" "$work/logs" "$work/tmp"

# ---- 1. keys, certificates and the release
signmanifest=$build/host-tools/tools/signmanifest/signmanifest
"$signmanifest" keygen "$work/keys/release.pem" "$work/keys/release.pub.pem" >/dev/null
c=$work/certs
openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -days 30 \
    -subj "/CN=Setup Test Code Signing CA" -keyout "$c/ca.key" -out "$c/ca.pem" \
    -addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign,cRLSign" 2>/dev/null
openssl req -newkey rsa:2048 -nodes -subj "/CN=Torvelin Test Publisher" \
    -keyout "$c/signer.key" -out "$c/signer.csr" 2>/dev/null
printf '%s\n' "basicConstraints=CA:FALSE" "keyUsage=critical,digitalSignature" \
    "extendedKeyUsage=codeSigning" >"$c/signer.ext"
openssl x509 -req -in "$c/signer.csr" -CA "$c/ca.pem" -CAkey "$c/ca.key" -CAcreateserial \
    -days 30 -extfile "$c/signer.ext" -out "$c/signer.pem" 2>/dev/null
openssl pkcs12 -export -inkey "$c/signer.key" -in "$c/signer.pem" -certfile "$c/ca.pem" \
    -passout pass:test-password -out "$c/signer.p12"

RELEASE_KEY=$work/keys/release.pem RELEASE_SERIAL=7 RELEASE_CODESIGN_P12=$c/signer.p12 \
    RELEASE_CODESIGN_PASSWORD=test-password RELEASE_BASE_URL=http://127.0.0.1:$port/ \
    RELEASE_BUILD_DIR=$work/build "$src/scripts/release.sh" "$work/out"
exe=$work/out/Setup.exe
files=$work/out/zividezeru/Files

# ---- 2. the signature
verify() { osslsigncode verify -CAfile "$c/ca.pem" -in "$1" >"$work/logs/verify.log" 2>&1; }
flipped() { # FILE OFFSET: a copy with the byte at OFFSET changed
    local copy=$work/tmp/flipped-$2.exe byte
    cp "$1" "$copy"
    byte=$(od -An -tu1 -j"$2" -N1 "$copy" | tr -d ' ')
    printf "$(printf '\\%03o' $(((byte + 1) % 256)))" |
        dd of="$copy" bs=1 seek="$2" conv=notrunc status=none
    echo "$copy"
}
refused() { ! verify "$1"; }
check "the signature verifies against the test CA" verify "$exe"
grep -q 'Message digest algorithm  : SHA256' "$work/logs/verify.log" ||
    grep -qi 'sha256' "$work/logs/verify.log" || { echo "FAILED: no SHA-256 digest" >&2; status=1; }
check "a byte changed in the program is refused" refused "$(flipped "$exe" 4096)"
# The appended catalogs begin with their block's signature; a byte of the
# first catalog, past it, is covered by the Authenticode hash too.
block=$(grep -obUa "DXGBD7F1BE4-9FCF-4E3A-ABA7-3443D11AB362" "$exe" | head -1 | cut -d: -f1)
if [ -n "$block" ]; then
    check "a byte changed in the appended catalogs is refused" refused "$(flipped "$exe" $((block + 200)))"
else
    echo "FAILED: no appended catalogs in the signed Setup.exe" >&2
    status=1
fi

# The static imports left are the system's known DLLs; everything else is
# delay-loaded or loaded from the system folder by full path.
imports=$(x86_64-w64-mingw32-objdump -p "$exe" | sed -n 's/^[[:space:]]*DLL Name: //p' |
    tr 'A-Z' 'a-z' | sort | tr '\n' ' ')
check "the static imports are known DLLs only ($imports)" \
    test "$imports" = "advapi32.dll gdi32.dll kernel32.dll msvcrt.dll user32.dll "

# ---- 3. and 4. under Wine
. "$src/scripts/wine-env.sh"
. "$src/scripts/wine-gui.sh"
export LANG=C.UTF-8
wine_env_init "$work/wine" "$src" "$build"
for d in "$WINEPREFIX"/dosdevices/?:; do
    case ${d##*/} in c: | b:) ;; *) rm -f "$d" ;; esac
done
wine_link_fonts
wine_virtual_desktop 1024x768

# The download server and the proxy.
. "$src/scripts/nginx-conf.sh"
nginx_conf "$work" "access_log $work/logs/nginx-access.log;" \
    "server { listen 127.0.0.1:$port; root $work/out; }" >"$work/nginx.conf"
proxy_port=$((port + 1))
cat >"$work/tinyproxy.conf" <<EOF
Port $proxy_port
Listen 127.0.0.1
Allow 127.0.0.1
Timeout 30
LogFile "$work/logs/tinyproxy.log"
LogLevel Info
PidFile "$work/tinyproxy.pid"
EOF
[ "$(id -u)" -eq 0 ] && printf 'User root\nGroup root\n' >>"$work/tinyproxy.conf"
chmod -R a+rwX "$work/out" "$work/logs" "$work/tmp"
pids=()
cleanup() {
    local p
    for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
    "$WINESERVER_BIN" -k >/dev/null 2>&1 || true
}
trap cleanup EXIT
"$(command -v nginx || echo /usr/sbin/nginx)" -p "$work" -c "$work/nginx.conf" &
pids+=($!)
"$(command -v tinyproxy || echo /usr/bin/tinyproxy)" -d -c "$work/tinyproxy.conf" >/dev/null 2>&1 &
pids+=($!)
for p in $port $proxy_port; do
    for _ in $(seq 50); do (exec 3<>/dev/tcp/127.0.0.1/$p) 2>/dev/null && break; sleep 0.1; done
done

# The DLLs the wizard loads during a whole installation (WINEDEBUG=+loaddll
# under Wine 8) and the ones COM, the shell and the common controls load for
# it on Windows.
planted_names="advapi32 bcrypt comctl32 combase crypt32 cryptbase dwmapi gdi32 imm32 kernelbase
    msimg32 msvcrt ole32 oleaut32 profapi propsys rpcrt4 sechost secur32 shcore shell32 shlwapi
    ucrtbase user32 uxtheme version win32u windows.storage winmm ws2_32 zlib1"

export WORK_DIR=$work PROXY_PORT=$proxy_port PLANTED_NAMES=$planted_names
export DRIVER
DRIVER=$(wine_build_path "$build" "$build/tests/e2e/wizard_driver.exe")
xvfb-run -a -n 180 -s "-screen 0 1024x768x24" bash -c '
set -u
. "$0/scripts/wine-env.sh"
. "$0/scripts/wine-gui.sh"
build=$1 exe=$2 planted=$3
status=0
drv() { timeout 60 "$WINE_BIN" "$DRIVER" "$@" | tr -d "\r"; }
fail() { echo "FAILED: $*" >&2; status=1; }
target=$WINEPREFIX/drive_c/TORVELINNEW
# One whole installation by the Setup.exe of folder $1 (LANG and a proxy as
# the caller sets them); the Cancel question first when $2 is set.
install_once() {
    local app=$1 ask=$2 proxy=$3 pid question out
    rm -rf "$target"
    "$WINE_BIN" "$(wine_build_path "$build" "$app/Setup.exe")" &
    pid=$!
    drv wait-page 1 >/dev/null || { fail "$app: no first page"; kill $pid; return; }
    if [ -n "$ask" ]; then
        drv click cancel
        question=$(drv wait-dialog)
        echo "cancel question: $question"
        case $question in
        *"tes-vous s"*) echo "ok: the Cancel question is French" ;;
        *) fail "the Cancel question is not French: $question" ;;
        esac
        drv answer no >/dev/null
    fi
    drv click next && drv wait-page 2 >/dev/null && drv click next && drv wait-page 3 >/dev/null
    [ -z "$proxy" ] || drv proxy 127.0.0.1 "$proxy"
    out=$(drv time-run) || fail "$app: the installation did not end on the completion page ($out)"
    echo "installation: $out"
    drv click finish
    wait $pid 2>/dev/null || true
    [ -f "$target/TORVELIN.EXE" ] && [ -f "$target/SETUP.INI" ] ||
        fail "$app: nothing installed in C:\\TORVELINNEW"
}

# 3. Alone in a folder, in French, through the proxy.
alone=$WORK_DIR/apps/alone
mkdir -p "$alone" && cp "$exe" "$alone/Setup.exe"
LANG=fr_FR.UTF-8 install_once "$alone" ask "$PROXY_PORT"
grep -q "release.txt" "$WORK_DIR/logs/tinyproxy.log" && grep -q "main.zip" "$WORK_DIR/logs/tinyproxy.log" ||
    fail "the release did not come through the proxy"

# 4. With planted DLLs beside it.
beside=$WORK_DIR/apps/planted
mkdir -p "$beside" && cp "$exe" "$beside/Setup.exe"
for name in $PLANTED_NAMES; do cp "$planted" "$beside/$name.dll"; done
install_once "$beside" "" ""
loaded=$(cd "$beside" && ls *.loaded 2>/dev/null || true)
if [ -n "$loaded" ]; then fail "planted DLLs were loaded: $loaded"; else
    echo "ok: none of the $(echo $PLANTED_NAMES | wc -w) planted DLLs was loaded"; fi
"$WINESERVER_BIN" -k >/dev/null 2>&1 || true
exit $status
' "$src" "$build" "$exe" "$planted" || status=1
exit $status

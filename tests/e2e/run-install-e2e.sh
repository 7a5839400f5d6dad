#!/usr/bin/env bash
# The installation end to end under Wine with real servers:
#   run-install-e2e.sh SOURCE_DIR BUILD_DIR TEST_EXE SETUP_EXE [SETUP_HTTPS_EXE TRUST_ROOT]
# The environment picks the run (tests/e2e/CMakeLists.txt registers each):
# INSTALL_E2E_NAME the work folder below BUILD_DIR (default install-e2e), so
# that runs can go on side by side; INSTALL_E2E_FILTER the tests run against
# the servers and INSTALL_E2E_DOWN_FILTER those run before any server is up
# ("none" skips that pass); INSTALL_E2E_CHECK_LINK=0 when no test of the run
# leaves the shortcut of a successful installation to check.
# A private Wine prefix (drive letters only for folders in the build tree,
# HOME private), nginx serving a work folder on the base URL Setup.exe was
# built with, tinyproxy as the proxy. With SETUP_HTTPS_EXE (the wizard built
# for the tests' HTTPS server) nginx also serves the folder over HTTPS with
# certificates of a test authority that TRUST_ROOT makes a root of the
# prefix, and a second tinyproxy refuses every tunnel. Where the system allows it, the whole
# run gets a network namespace of its own, so its loopback ports cannot meet
# another server on this machine, and host names are looked up in the hosts
# file only, so an unknown name is refused at once, without asking any name
# server. Inside the namespace the loopback device also takes a private range
# whose addresses nothing ever answers (a connect to them never completes),
# and a helper makes real input events through the X server when a test asks.
set -euo pipefail
src=$1 build=$2 test_exe=$3 setup_exe=$4 https_setup_exe=${5:-} trust_root=${6:-}

if [ -z "${INSTALL_E2E_NETNS:-}" ] && command -v unshare >/dev/null && command -v ip >/dev/null; then
    ns_flags=-nm
    [ "$(id -u)" -eq 0 ] || ns_flags=-rnm
    if unshare $ns_flags true 2>/dev/null; then
        export INSTALL_E2E_NETNS=$build/${INSTALL_E2E_NAME:-install-e2e}/nsswitch.conf
        mkdir -p "$build/${INSTALL_E2E_NAME:-install-e2e}"
        printf 'hosts: files\n' >"$INSTALL_E2E_NETNS"
        # 10.200.0.0/24 exists only in this namespace: its packets go into
        # the loopback device, where no address of theirs is local, and are
        # dropped without an answer.
        exec unshare $ns_flags bash -c \
            'ip link set lo up && ip route add 10.200.0.0/24 dev lo &&
             mount --bind "$INSTALL_E2E_NETNS" /etc/nsswitch.conf &&
             INSTALL_E2E_HOSTS_ONLY=1 INSTALL_E2E_SILENT_ADDRESS=10.200.0.2 exec "$0" "$@"' "$0" "$@"
    fi
fi

. "$src/scripts/wine-env.sh"
. "$src/scripts/wine-gui.sh"
# Setup.exe carries its catalogs: LANG=C picks none, whatever the machine's
# locale, so the texts are the program's own; a test that wants a language
# sets LANG for the run it starts.
export LANG=C.UTF-8
work=$build/${INSTALL_E2E_NAME:-install-e2e}
wine_env_init "$work/wine" "$src" "$build"
# No drive letter may lead outside the build tree (the prefix itself is in it).
for d in "$WINEPREFIX"/dosdevices/?:; do
    case ${d##*/} in c: | b: | d:) ;; *) rm -f "$d" ;; esac
done
# A second fixed drive, D:, for the drive list to offer.
mkdir -p "$work/drive-d"
ln -sfn "$work/drive-d" "$WINEPREFIX/dosdevices/d:"
if [ ! -f "$WINEPREFIX/.drive-d-fixed" ]; then
    DISPLAY= "$WINE_BIN" reg add 'HKLM\Software\Wine\Drives' /v d: /d hd /f >/dev/null 2>&1
    wine_restart_server
    touch "$WINEPREFIX/.drive-d-fixed"
fi
# A small drive of the test's own (E:, a tmpfs of INSTALL_E2E_SMALL_DRIVE_MB
# MiB in the mount namespace made above) for the room checks, when a run asks
# for one; without a namespace they are left out. Other runs keep C: and D:.
mkdir -p "$work/drive-e"
export INSTALL_E2E_SMALL_DRIVE=
if [ -n "${INSTALL_E2E_SMALL_DRIVE_MB:-}" ] && [ -n "${INSTALL_E2E_NETNS:-}" ] &&
    mount -t tmpfs -o size="${INSTALL_E2E_SMALL_DRIVE_MB}m" tmpfs "$work/drive-e" 2>/dev/null; then
    ln -sfn "$work/drive-e" "$WINEPREFIX/dosdevices/e:"
    if [ ! -f "$WINEPREFIX/.drive-e-fixed" ]; then
        DISPLAY= "$WINE_BIN" reg add 'HKLM\Software\Wine\Drives' /v e: /d hd /f >/dev/null 2>&1
        wine_restart_server
        touch "$WINEPREFIX/.drive-e-fixed"
    fi
    INSTALL_E2E_SMALL_DRIVE=E
fi
wine_link_fonts
wine_virtual_desktop 1024x768

# Where Setup.exe downloads from: the build's base URL, a loopback one.
base_url=$(sed -n 's/^SETUP_DOWNLOAD_BASE_URL:[A-Z]*=//p' "$build/CMakeCache.txt")
base_url=${base_url:-http://127.0.0.1:8731/}
case $base_url in
http://127.0.0.1:*/) port=${base_url#http://127.0.0.1:} port=${port%/} ;;
*) echo "install_e2e: the base URL $base_url is not a loopback address" >&2; exit 1 ;;
esac

# The HTTPS server of the second wizard, when there is one.
https_port=
if [ -n "$https_setup_exe" ]; then
    https_url=$(sed -n 's/^SETUP_HTTPS_DEMO_BASE_URL:[A-Z]*=//p' "$build/CMakeCache.txt")
    case $https_url in
    https://localhost:*/) https_port=${https_url#https://localhost:} https_port=${https_port%/} ;;
    *) echo "install_e2e: the HTTPS base URL $https_url is not on localhost" >&2; exit 1 ;;
    esac
    # The root outlives a run (the prefix keeps trusting it); the server's
    # certificates are made anew. The tests change the server's certificate
    # by copying one to current.pem, which nginx reads at each handshake.
    bash "$src/scripts/make-certs.sh" "$work/certs"
    cp "$work/certs/server.pem" "$work/certs/current.pem"
    chmod -R a+rwX "$work/certs"
    DISPLAY= "$WINE_BIN" "$(wine_build_path "$build" "$trust_root")" \
        "$(wine_build_path "$build" "$work/certs/ca.der")"
fi

free_port() {
    local p
    for p in $(seq "$1" $(($1 + 200))); do
        (exec 3<>/dev/tcp/127.0.0.1/"$p") 2>/dev/null || { echo "$p"; return; }
    done
    return 1
}
wait_port() {
    local _
    for _ in $(seq 100); do
        (exec 3<>/dev/tcp/127.0.0.1/"$1") 2>/dev/null && return 0
        sleep 0.1
    done
    echo "install_e2e: nothing listens on port $1" >&2
    return 1
}

rm -rf "$work/www" "$work/archives" "$work/shots" "$work/logs" "$work/Torvelin.lnk" "$work/input" "$work/sign" \
    "$work/keys"
mkdir -p "$work/www/zividezeru/Files" "$work/www/modes" "$work/archives" "$work/shots" "$work/logs" "$work/tmp" \
    "$work/big" "$work/input"
# The body of the 404 that modes/main.404big asks for: 200 MiB (sparse).
[ -f "$work/big/404big.bin" ] || truncate -s 200M "$work/big/404big.bin"
cp "$build/demo/www/zividezeru/Files/main.zip" "$build/demo/www/zividezeru/Files/upgrade.zip" "$work/archives/"
# A build with release keys: the demo release's signed manifest is served
# beside the archives, and the tests have manifests signed on request (see
# sign-helper.sh) with the build's two demo keys and with one it does not
# trust.
export INSTALL_E2E_SIGNED=
signer=$build/host-tools/tools/signmanifest/signmanifest
if [ -f "$build/demo/www/zividezeru/Files/release.txt" ]; then
    INSTALL_E2E_SIGNED=1
    cp "$build/demo/www/zividezeru/Files/release.txt" "$work/archives/"
    mkdir -p "$work/keys"
    cp "$build/release-keys/current.pem" "$build/release-keys/next.pem" "$work/keys/"
    "$signer" keygen "$work/keys/other.pem" "$work/keys/other.pub.pem" >/dev/null
fi
# main.zip once more, its entries in methods 12 and 14 (7-Zip's bzip2 and
# LZMA) and a WavPack entry (method 97) of a WAV file added; the originals
# stay in archives/codecs for the comparison.
codecs=$work/archives/codecs
rm -rf "$codecs"
mkdir -p "$codecs/files" "$codecs/wav" "$codecs/wv"
(cd "$codecs/files" && unzip -q -o "$work/archives/main.zip" &&
    7zz a -bd -bso0 -tzip -mm=BZip2 ../base.zip ARTIKELEN.CSV LEESMIJ.TXT &&
    7zz a -bd -bso0 -tzip -mm=LZMA ../base.zip TORVELIN.EXE)
cp "$src/tests/data/zip-codecs/src/wav/s16-stereo.wav" "$codecs/wav/GELUID.wav"
wavpack -q -y -h "$codecs/wav/GELUID.wav" -o "$codecs/wv/GELUID.wv"
python3 "$src/tests/data/zip-codecs/make_wavpack_zip.py" --into "$codecs/base.zip" \
    "$work/archives/main-codecs.zip" "$codecs/wv" "$codecs/wav"
# main.zip once more with a 12 MiB entry of random bytes, stored, for the
# downloads through a line that breaks every 3 MiB.
mkdir -p "$work/archives/bigsrc"
head -c $((12 * 1024 * 1024)) /dev/urandom >"$work/archives/bigsrc/BIG.BIN"
cp "$work/archives/main.zip" "$work/archives/main-big.zip"
(cd "$work/archives/bigsrc" && zip -q -0 ../main-big.zip BIG.BIN)
# nginx workers started by root run as an unprivileged user unless told.
# For the status line and Cancel: main.zip with 2 MiB more (20 s at 100 kB/s),
# and with 3000 small entries more (an unpack that takes a while).
mkdir -p "$work/archives/extrasrc" "$work/archives/manysrc"
head -c $((2 * 1024 * 1024)) /dev/urandom >"$work/archives/extrasrc/EXTRA.BIN"
cp "$work/archives/main.zip" "$work/archives/main-2m.zip"
(cd "$work/archives/extrasrc" && zip -q -0 ../main-2m.zip EXTRA.BIN)
(cd "$work/archives/manysrc" &&
    awk 'BEGIN { for (i = 1; i <= 3000; ++i) { f = sprintf("MANY%04d.TXT", i)
                 for (j = 0; j < 200; ++j) printf "entry %04d\n", i > f; close(f) } }')
cp "$work/archives/main.zip" "$work/archives/main-many.zip"
(cd "$work/archives/manysrc" && zip -q ../main-many.zip MANY*.TXT)
# For a drive that fills up during the unpack: two small entries of main.zip,
# then 256 KiB of random bytes, stored, for which the other writer leaves no
# room.
mkdir -p "$work/archives/fillsrc"
cp "$codecs/files/LEESMIJ.TXT" "$codecs/files/ARTIKELEN.CSV" "$work/archives/fillsrc/"
head -c $((256 * 1024)) /dev/urandom >"$work/archives/fillsrc/DATA.BIN"
(cd "$work/archives/fillsrc" && zip -q -0 ../main-fill.zip LEESMIJ.TXT ARTIKELEN.CSV DATA.BIN)
chmod -R a+rwX "$work/www" "$work/logs" "$work/tmp"
. "$src/scripts/nginx-conf.sh"

# The HTTPS server: each request logged with the number of its connection.
https_server() {
    [ -n "$https_port" ] || return 0
    cat <<EOF
    log_format connection '\$connection \$request_uri \$status';
    map \$ssl_server_name \$cert_dir { default $work/certs; }
    server {
        listen 127.0.0.1:$https_port ssl;
        ssl_protocols TLSv1.2 TLSv1.3;
        ssl_certificate \$cert_dir/current.pem;
        ssl_certificate_key $work/certs/server.key;
        access_log $work/logs/nginx-https.log connection;
        root $work/www;
    }
EOF
}

# The archives' location answers by marker files the tests create:
# modes/main.204 makes main.zip answer 204, modes/main.slow sends it slowly,
# modes/main.404big answers 404 with a body of 200 MiB.
nginx_conf "$work" "access_log $work/logs/nginx-access.log;" "types { application/zip zip; }" \
    "$(cat <<EOF
    server {
        listen 127.0.0.1:$port;
        root $work/www;
        location = /zividezeru/Files/main.zip {
            if (-f $work/www/modes/main.204) { return 204; }
            if (-f $work/www/modes/main.404big) { rewrite ^ /big-404 last; }
            if (-f $work/www/modes/main.slow) { set \$limit_rate 50k; }
            if (-f $work/www/modes/main.rate100) { set \$limit_rate 100k; }
        }
        location = /big-404 { internal; error_page 404 /404big.bin; return 404; }
        location = /404big.bin { internal; root $work/big; }
        location / { }
    }
EOF
)" "$(https_server)" >"$work/nginx.conf"
proxy_port=$(free_port $((port + 3)))
cat >"$work/tinyproxy.conf" <<EOF
Port $proxy_port
Listen 127.0.0.1
Allow 127.0.0.1
Timeout 30
MaxClients 8
LogFile "$work/tinyproxy.log"
LogLevel Info
PidFile "$work/tinyproxy.pid"
EOF
[ "$(id -u)" -eq 0 ] && printf 'User root\nGroup root\n' >>"$work/tinyproxy.conf"
: >"$work/tinyproxy.log"
# A proxy that allows tunnels to port 1 only: it refuses the HTTPS server.
refusing_port=$(free_port $((proxy_port + 1)))
sed -e "s/^Port .*/Port $refusing_port/" -e '/^LogFile/d' -e '/^PidFile/d' "$work/tinyproxy.conf" \
    >"$work/refusing.conf"
echo "ConnectPort 1" >>"$work/refusing.conf"

pids=()
cleanup() {
    local p
    touch "$work/sign/stop" 2>/dev/null || true
    for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
    for p in "${pids[@]}"; do wait "$p" 2>/dev/null || true; done
    "$WINESERVER_BIN" -k >/dev/null 2>&1 || true
}
trap cleanup EXIT

export SETUP_EXE INSTALL_E2E_WORK INSTALL_E2E_CATALOGS INSTALL_E2E_PROXY_PORT=$proxy_port INPUT_DIR=$work/input
export INSTALL_E2E_HTTPS_SETUP_EXE= INSTALL_E2E_HTTPS_PORT=$https_port INSTALL_E2E_REFUSING_PROXY_PORT=$refusing_port
[ -z "$https_setup_exe" ] || INSTALL_E2E_HTTPS_SETUP_EXE=$(wine_build_path "$build" "$https_setup_exe")
INSTALL_E2E_CATALOGS=$(wine_build_path "$build" "$build/po/locale")
SETUP_EXE=$(wine_build_path "$build" "$setup_exe")
INSTALL_E2E_WORK=$(wine_build_path "$build" "$work")
test_win=$(wine_build_path "$build" "$test_exe")
status=0
if [ -n "$INSTALL_E2E_SIGNED" ]; then
    mkdir -p "$work/sign"
    "$src/tests/e2e/sign-helper.sh" "$work/sign" "$signer" "$work/keys" "$work/www/zividezeru/Files" &
    pids+=($!)
fi

# Displays from :140 up, apart from the ones other test scripts start at
# (:99), so that two of them started at once do not pick the same number.
# The input helper runs on the same display, beside the tests, for as long as
# they do.
export INSTALL_E2E_INPUT=
command -v xdotool >/dev/null && INSTALL_E2E_INPUT=1
run_pass() {
    rm -f "$INPUT_DIR/stop"
    xvfb-run -a -n 140 -s "-screen 0 1024x768x24" bash -c '
        [ -z "$INSTALL_E2E_INPUT" ] || "$0" "$1" &
        helper=$!
        shift
        "$@"
        rc=$?
        touch "$INPUT_DIR/stop"
        wait $helper 2>/dev/null
        exit $rc' "$src/tests/e2e/input-helper.sh" "$work/input" "$WINE_BIN" "$test_win" "$@" || status=$?
    "$WINESERVER_BIN" -k >/dev/null 2>&1 || true
}

# First pass: nothing listens on the base URL.
if [ "${INSTALL_E2E_DOWN_FILTER:-}" = none ]; then
    :
elif (exec 3<>/dev/tcp/127.0.0.1/"$port") 2>/dev/null; then
    echo "install_e2e: port $port is taken; the refused-connection case is left out" >&2
else
    INSTALL_E2E_SERVER_DOWN=1 run_pass --gtest_filter="${INSTALL_E2E_DOWN_FILTER:-InstallTest.*}"
fi

nginx_bin=$(command -v nginx || echo /usr/sbin/nginx)
tinyproxy_bin=$(command -v tinyproxy || echo /usr/bin/tinyproxy)
"$nginx_bin" -p "$work" -c "$work/nginx.conf" &
pids+=($!)
"$tinyproxy_bin" -d -c "$work/tinyproxy.conf" >"$work/logs/tinyproxy.out" 2>&1 &
pids+=($!)
"$tinyproxy_bin" -d -c "$work/refusing.conf" >"$work/logs/refusing.out" 2>&1 &
pids+=($!)
wait_port "$port"
wait_port "$proxy_port"
wait_port "$refusing_port"
[ -z "$https_port" ] || wait_port "$https_port"

# INSTALL_E2E_FILTER (and INSTALL_E2E_DOWN_FILTER for the first pass) picks
# tests while working on them.
run_pass --gtest_filter="${INSTALL_E2E_FILTER:-ServedInstallTest.*:HttpsInstallTest.*}"

# The shortcut of the successful run, read by a reader of our own platform.
if [ "${INSTALL_E2E_CHECK_LINK:-1}" = 0 ]; then
    :
elif [ -f "$work/Torvelin.lnk" ]; then
    info=$(lnkinfo "$work/Torvelin.lnk")
    echo "$info"
    for want in 'Local path[[:space:]]*: C:\\TORVELINNEW\\TORVELIN\.EXE$' \
        'Description[[:space:]]*: Torvelin$' \
        'Working directory[[:space:]]*: C:\\TORVELINNEW\\$'; do
        grep -qE "$want" <<<"$info" || { echo "install_e2e: lnkinfo shows no match for $want" >&2; status=1; }
    done
    # The show command (MS-SHLLINK 2.1: the header's field at offset 60),
    # read from the bytes: SW_SHOWNORMAL.
    show=$(od -An -tu4 -j60 -N4 "$work/Torvelin.lnk" | tr -d ' ')
    [ "$show" = 1 ] || { echo "install_e2e: the shortcut's show command is $show, not 1" >&2; status=1; }
else
    echo "install_e2e: the successful run left no shortcut to check" >&2
    status=1
fi

# The pictures, for a person to look at.
if command -v convert >/dev/null; then
    for f in "$work"/shots/*.bmp; do
        [ -e "$f" ] || continue
        convert "$f" "${f%.bmp}.png" && rm -f "$f"
    done
fi
ls "$work/shots"
exit $status

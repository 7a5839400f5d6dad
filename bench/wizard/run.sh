#!/usr/bin/env bash
# The wizard's installation run against its own libraries, under one Wine:
# Next on the ProxySettings page until the completion page, timed by the e2e
# driver, against netget.exe fetching both archives and arcunzip.exe
# unpacking them one after the other, from the same nginx on loopback.
#
#   bench/wizard/run.sh [RUNS]          (best of RUNS, default 3)
#
# main.zip is made from the machine's shared libraries (about 170 MB, with the
# demo's own files), once stored and once deflated; upgrade.zip is the demo's.
# Builds what it needs in build/windows. Environment:
#   KINDS="stored deflated"   the main.zip kinds to measure
#   RATE=25m                  nginx's limit_rate for the downloads (default none)
#   BASELINE=path/Setup.exe   another build of the wizard, measured in the same
#                             runs (alternating), for a before/after pair;
#   BASELINE=nokeys           the same sources built without release keys (in
#                             build/windows-nokeys), to show what checking the
#                             signed release costs
#   SETUP_ARGS='/LOG=C:\bench.log'  arguments for every Setup.exe started (the
#                             log's times show where a run's time went; the
#                             access log's request times, below, show it for a
#                             build without a log too)
# With release keys in the build (the windows preset's demo keys) each kind's
# release is signed with the demo key, as the demo's is.
# The tools' time includes starting three Wine processes (netget once,
# arcunzip twice); the start of one such process is measured too and the
# ratio is printed with and without it.
set -euo pipefail
src=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
build=$src/build/windows
runs=${1:-3}
kinds=${KINDS:-stored deflated}
work=$build/bench-wizard

if [ -z "${BENCH_WIZARD_NETNS:-}" ]; then
    "$src/scripts/install-deps.sh"
    cmake --preset windows >/dev/null
    cmake --build --preset windows --target SetupExe wizard_driver netget arcunzip demo_archives \
        digest_cost -j"$(nproc)" >/dev/null
    cmake --preset linux >/dev/null
    cmake --build --preset linux --target digest_cost -j"$(nproc)" >/dev/null
    if [ "${BASELINE:-}" = nokeys ]; then
        nokeys=$src/build/windows-nokeys
        # The cross-built decoder libraries are the same for both builds.
        if [ ! -d "$nokeys/codecs/prefix" ]; then
            mkdir -p "$nokeys/codecs" && cp -a "$build/codecs/prefix" "$nokeys/codecs/"
        fi
        cmake --preset windows -B "$nokeys" -DSETUP_DEMO_RELEASE_KEYS=OFF >/dev/null 2>&1
        cmake --build "$nokeys" --target SetupExe -j"$(nproc)" >/dev/null
        export BASELINE=$nokeys/setup/Setup.exe
    fi
    # Port 8731 (the build's base URL) of a loopback of its own, where the
    # system allows it, so that a demo server running beside is not measured.
    if command -v unshare >/dev/null && unshare -nm true 2>/dev/null; then
        exec unshare -nm env BENCH_WIZARD_NETNS=1 bash -c 'ip link set lo up && exec "$0" "$@"' "$0" "$@"
    fi
fi

base_url=$(sed -n 's/^SETUP_DOWNLOAD_BASE_URL:[A-Z]*=//p' "$build/CMakeCache.txt")
base_url=${base_url:-http://127.0.0.1:8731/}
port=${base_url#http://127.0.0.1:} port=${port%/}
demo=$build/demo/www/zividezeru/Files

# ---- the archives, made once
mkdir -p "$work/archives" "$work/www/zividezeru/Files" "$work/logs" "$work/tmp"
if [ ! -f "$work/archives/deflated.zip" ]; then
    rm -rf "$work/stage" && mkdir -p "$work/stage"
    (cd "$work/stage" && unzip -q "$demo/main.zip")
    # Shared libraries of 0.5 to 8 MB in name order, up to about 150 MB.
    find /usr/lib/x86_64-linux-gnu -maxdepth 1 -type f -name 'lib*.so*' -size +500k -size -8M \
        -printf '%s %p\n' | sort -k2 | awk '{ total += $1; if (total > 150000000) exit; print $2 }' |
        xargs cp -t "$work/stage"
    (cd "$work/stage" && zip -q -0 -X ../archives/stored.zip ./* && zip -q -6 -X ../archives/deflated.zip ./*)
    rm -rf "$work/stage"
fi
cp "$demo/upgrade.zip" "$work/www/zividezeru/Files/upgrade.zip"

# ---- nginx
rate=
[ -n "${RATE:-}" ] && rate="limit_rate ${RATE};"
. "$src/scripts/nginx-conf.sh"
nginx_conf "$work" 'log_format timed "$request $status $body_bytes_sent $request_time $msec";' \
    "access_log $work/logs/access.log timed;" "sendfile on;" \
    "server { listen 127.0.0.1:$port; root $work/www; default_type application/zip; $rate }" \
    >"$work/nginx.conf"
chmod -R a+rwX "$work/www" "$work/logs" "$work/tmp"
nginx -p "$work" -c "$work/nginx.conf" &
nginx_pid=$!

# ---- Wine: a prefix of its own, drive C: only
. "$src/scripts/wine-env.sh"
. "$src/scripts/wine-gui.sh"
export LANG=C.UTF-8
wine_env_init "$work/wine" "$src" "$build"
wine_link_fonts
cleanup() {
    kill "$nginx_pid" 2>/dev/null || true
    wait "$nginx_pid" 2>/dev/null || true
    "$WINESERVER_BIN" -k >/dev/null 2>&1 || true
}
trap cleanup EXIT
for _ in $(seq 50); do (exec 3<>/dev/tcp/127.0.0.1/"$port") 2>/dev/null && break; sleep 0.1; done

baseline=
if [ -n "${BASELINE:-}" ]; then
    mkdir -p "$build/ship-baseline"
    cp "$BASELINE" "$build/ship-baseline/Setup.exe"
    baseline=$build/ship-baseline/Setup.exe
fi
export BENCH_BASELINE=$baseline BENCH_SETUP_ARGS=${SETUP_ARGS:-}
export BENCH_SRC=$src BENCH_BUILD=$build BENCH_WORK=$work BENCH_RUNS=$runs BENCH_KINDS=$kinds \
    BENCH_URL=$base_url
xvfb-run -a -n 160 -s "-screen 0 1024x768x24" bash -c '
set -euo pipefail
. "$BENCH_SRC/scripts/wine-env.sh"
. "$BENCH_SRC/scripts/wine-gui.sh"
wine_env_init "$BENCH_WORK/wine" "$BENCH_SRC" "$BENCH_BUILD"
wine_virtual_desktop 1024x768
target=$WINEPREFIX/drive_c/TORVELINNEW
bpath() { wine_build_path "$BENCH_BUILD" "$1"; }
drv() { "$WINE_BIN" "$(bpath "$BENCH_BUILD/tests/e2e/wizard_driver.exe")" "$@" | tr -d "\r"; }
setup=$(bpath "$(wine_shipped_setup "$BENCH_BUILD")")
netget=$(bpath "$BENCH_BUILD/tools/netget/netget.exe")
arcunzip=$(bpath "$BENCH_BUILD/tools/arcunzip/arcunzip.exe")
now() { date +%s.%N; }
best() { if [ -z "$1" ] || [ "$(echo "$2 < $1" | bc)" = 1 ]; then echo "$2"; else echo "$1"; fi; }

# The start of one Wine process (a usage error of netget: no work done).
start_cost=
for _ in 1 2 3; do
    t0=$(now); "$WINE_BIN" "$netget" >/dev/null 2>&1 || true; t1=$(now)
    start_cost=$(best "$start_cost" "$(echo "$t1 - $t0" | bc)")
done

wizard_once() { # EXE
    rm -rf "$target" "$HOME/Desktop/Torvelin.lnk"
    "$WINE_BIN" "$1" ${BENCH_SETUP_ARGS:-} &
    local pid=$!
    drv wait-page 1 >/dev/null && drv click next && drv wait-page 2 >/dev/null &&
        drv click next && drv wait-page 3 >/dev/null
    local out
    out=$(drv time-run) || { echo "wizard run failed: $out" >&2; kill $pid; return 1; }
    drv click finish
    wait $pid || true
    echo "${out%% *}"
}
tools_once() {
    rm -rf "$target" && mkdir -p "$target"
    local t0 t1
    t0=$(now)
    "$WINE_BIN" "$netget" -o "C:\\TORVELINNEW\\main.zip" "${BENCH_URL}zividezeru/Files/main.zip" \
        -o "C:\\TORVELINNEW\\upgrade.zip" "${BENCH_URL}zividezeru/Files/upgrade.zip" >/dev/null
    "$WINE_BIN" "$arcunzip" -d "C:\\TORVELINNEW" "C:\\TORVELINNEW\\main.zip" >/dev/null
    "$WINE_BIN" "$arcunzip" -d "C:\\TORVELINNEW" "C:\\TORVELINNEW\\upgrade.zip" >/dev/null
    t1=$(now)
    echo "$t1 - $t0" | bc
}

printf "one Wine process start: %.2f s\n" "$start_cost"
before=
[ -z "$BENCH_BASELINE" ] || before=$(bpath "$BENCH_BASELINE")
served=$BENCH_WORK/www/zividezeru/Files
keys=$BENCH_BUILD/release-keys
serial=$(sed -n "s/^SETUP_RELEASE_MIN_SERIAL:[A-Z]*=//p" "$BENCH_BUILD/CMakeCache.txt")
printf "%-9s %5s %8s %8s %8s %10s %9s\n" kind MB wizard tools ratio "ratio-3st" baseline
for kind in $BENCH_KINDS; do
    cp "$BENCH_WORK/archives/$kind.zip" "$served/main.zip"
    rm -f "$served/release.txt"
    if [ -f "$keys/current.pem" ]; then
        "$BENCH_BUILD/host-tools/tools/signmanifest/signmanifest" sign --key "$keys/current.pem" \
            --serial "${serial:-0}" --out "$served/release.txt" "$served" >/dev/null
    fi
    w= t= b=
    for _ in $(seq "$BENCH_RUNS"); do
        w=$(best "$w" "$(wizard_once "$setup")")
        t=$(best "$t" "$(tools_once)")
        [ -z "$before" ] || b=$(best "$b" "$(wizard_once "$before")")
    done
    files=$(ls "$target" | wc -l)
    mb=$(( $(stat -c %s "$BENCH_WORK/archives/$kind.zip") / 1000000 ))
    printf "%-9s %5s %8.2f %8.2f %8.2f %10.2f %9s   (%s files unpacked)\n" "$kind" "$mb" "$w" "$t" \
        "$(echo "$w / $t" | bc -l)" "$(echo "$w / ($t - 3 * $start_cost)" | bc -l)" "${b:--}" "$files"
done

# The download step of the wizard itself, plain and checked against the
# listed size and digest, under Wine (with the SHA-256 of CNG) and natively
# (with that of libcrypto).
for kind in $BENCH_KINDS; do
    cp "$BENCH_WORK/archives/$kind.zip" "$served/main.zip"
    size=$(stat -c %s "$served/main.zip")
    sum=$(sha256sum "$served/main.zip" | cut -d" " -f1)
    printf "%-9s download under Wine: " "$kind"
    "$WINE_BIN" "$(bpath "$BENCH_BUILD/bench/wizard/digest_cost.exe")" "$BENCH_URL" \
        zividezeru/Files/main.zip "$size" "$sum" "$BENCH_RUNS" "C:\\digest-cost.zip" | tr -d "\r"
    printf "%-9s native download:     " "$kind"
    "$BENCH_SRC/build/linux/bench/wizard/digest_cost" "$BENCH_URL" zividezeru/Files/main.zip \
        "$size" "$sum" "$BENCH_RUNS" "$BENCH_WORK/tmp/digest-cost.zip"
done
rm -f "$WINEPREFIX/drive_c/digest-cost.zip"
'

#!/usr/bin/env bash
# Downloads one large file from a private nginx on loopback with netget, curl
# and wget in turn (alternating, so that load from other work on the machine
# falls on all three alike), and reports each tool's wall time and peak RSS
# and the wall-time ratio netget/curl, of the means and of the best runs.
#
#   bench/http/netget_vs_peers.sh NETGET [RUNS] [SIZE]
#
# SIZE (default 1G) accepts K, M and G suffixes; RUNS defaults to 5. The
# downloads are written below OUT_DIR when it is set (for example /dev/shm,
# to take the disk out of the measurement), else below the work folder. With
# TLS=1 nginx serves HTTPS with a certificate of a test authority made for
# the run, which each tool trusts by its own option.
# BASELINE=path/netget adds an older netget to the same rounds
# ("netget-before"), for a before/after pair.
# Needs nginx, curl, wget, bc and GNU time (scripts/packages/http.txt), and
# for TLS=1 openssl (scripts/packages/tls.txt).
set -euo pipefail

src=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
netget=$(realpath "$1")
runs=${2:-5}
size=${3:-1G}
work=$(mktemp -d /tmp/netget-bench.XXXXXX)
chmod 755 "$work" # nginx workers run as an unprivileged user
nginx_pid=
cleanup() {
    [ -n "$nginx_pid" ] && kill "$nginx_pid" 2>/dev/null && wait "$nginx_pid" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

mkdir -p "$work/www" "$work/nginx/tmp" "$work/out"
# Random content, so that nothing along the way can shortcut zeros.
head -c "$(numfmt --from=iec "$size")" /dev/urandom > "$work/www/big.bin"

port=0
for _ in $(seq 1 50); do
    port=$((20000 + RANDOM % 30000))
    (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null || break
done
scheme=http tls_listen="" tls_lines=""
netget_trust=() curl_trust=() wget_trust=()
if [ "${TLS:-0}" = 1 ]; then
    bash "$src/scripts/make-certs.sh" "$work/certs"
    scheme=https tls_listen=" ssl"
    tls_lines="ssl_protocols TLSv1.2 TLSv1.3; ssl_certificate $work/certs/server.pem;"
    tls_lines+=" ssl_certificate_key $work/certs/server.key;"
    netget_trust=(--cacert "$work/certs/ca.pem")
    curl_trust=(--cacert "$work/certs/ca.pem")
    wget_trust=(--ca-certificate="$work/certs/ca.pem")
fi
# Workers started by root would run as an unprivileged user that may not
# reach the work folder; keep them as the caller.
nginx_user=""
[ "$(id -u)" -eq 0 ] && nginx_user="user root root;"
cat > "$work/nginx/nginx.conf" <<CONF
daemon off;
$nginx_user
worker_processes 1;
pid $work/nginx/nginx.pid;
error_log $work/nginx/error.log;
events { worker_connections 64; }
http {
    access_log off;
    sendfile on;
    client_body_temp_path $work/nginx/tmp/body;
    proxy_temp_path $work/nginx/tmp/proxy;
    fastcgi_temp_path $work/nginx/tmp/fastcgi;
    uwsgi_temp_path $work/nginx/tmp/uwsgi;
    scgi_temp_path $work/nginx/tmp/scgi;
    server { listen 127.0.0.1:$port$tls_listen; root $work/www; $tls_lines }
}
CONF
nginx -p "$work/nginx" -c "$work/nginx/nginx.conf" &
nginx_pid=$!
for _ in $(seq 1 100); do (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null && break; sleep 0.05; done

url="$scheme://localhost:$port/big.bin"
out_dir=${OUT_DIR:-$work/out}
mkdir -p "$out_dir"
out="$out_dir/netget-bench-$$.bin"
trap 'cleanup; rm -f "$out"' EXIT
declare -A cmd=(
    [netget]="$netget ${netget_trust[*]} -o $out $url"
    [curl]="curl -s ${curl_trust[*]} -o $out $url"
    [wget]="wget -q ${wget_trust[*]} -O $out $url"
)
tools=(netget curl wget)
if [ -n "${BASELINE:-}" ]; then
    cmd[netget-before]="$BASELINE ${netget_trust[*]} -o $out $url"
    tools+=(netget-before)
fi
declare -A total_time peak_rss best_time
for t in "${tools[@]}"; do total_time[$t]=0; peak_rss[$t]=0; best_time[$t]=; done

# One warm-up round puts the file into the page cache.
curl -s "${curl_trust[@]}" -o /dev/null "$url"

for run in $(seq 1 "$runs"); do
    for t in "${tools[@]}"; do
        rm -f "$out"
        read -r secs rss < <(/usr/bin/time -f "%e %M" ${cmd[$t]} 2>&1 >/dev/null | tail -1)
        cmp -s "$out" "$work/www/big.bin" || { echo "$t: output differs" >&2; exit 1; }
        printf 'run %d %-13s %6.2f s  %7d KiB\n' "$run" "$t" "$secs" "$rss"
        total_time[$t]=$(echo "${total_time[$t]} + $secs" | bc -l)
        if [ -z "${best_time[$t]}" ] || [ "$(echo "$secs < ${best_time[$t]}" | bc)" = 1 ]; then
            best_time[$t]=$secs
        fi
        [ "$rss" -gt "${peak_rss[$t]}" ] && peak_rss[$t]=$rss
    done
done

echo
for t in "${tools[@]}"; do
    printf '%-13s mean %6.2f s  best %6.2f s  peak RSS %6.1f MiB\n' "$t" \
        "$(echo "${total_time[$t]} / $runs" | bc -l)" "${best_time[$t]}" \
        "$(echo "${peak_rss[$t]} / 1024" | bc -l)"
done
printf 'netget/curl wall-time ratio %.3f (means), %.3f (best runs)\n' \
    "$(echo "${total_time[netget]} / ${total_time[curl]}" | bc -l)" \
    "$(echo "${best_time[netget]} / ${best_time[curl]}" | bc -l)"
printf 'netget/wget wall-time ratio %.3f (means), %.3f (best runs)\n' \
    "$(echo "${total_time[netget]} / ${total_time[wget]}" | bc -l)" \
    "$(echo "${best_time[netget]} / ${best_time[wget]}" | bc -l)"
if [ -n "${BASELINE:-}" ]; then
    printf 'netget/netget-before wall-time ratio %.3f (means), %.3f (best runs)\n' \
        "$(echo "${total_time[netget]} / ${total_time[netget-before]}" | bc -l)" \
        "$(echo "${best_time[netget]} / ${best_time[netget-before]}" | bc -l)"
fi

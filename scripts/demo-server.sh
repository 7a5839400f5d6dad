#!/usr/bin/env bash
# scripts/demo-server.sh start|stop [ROOT] [PORT] [RATE] [CERTS]
# The demo download server: nginx on 127.0.0.1 serving ROOT (by default the
# Windows build's demo/www, which holds zividezeru/Files/main.zip and
# upgrade.zip). Its configuration, pid and logs live in build/demo-server/.
# With CERTS (a folder of scripts/make-certs.sh) it serves HTTPS with the
# certificate CERTS/server.pem for localhost.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
src=$(cd "$here/.." && pwd)
action=${1:-start}
root=$(realpath -m "${2:-$src/build/windows/demo/www}")
port=${3:-8731}
rate=${4:-0} # bytes per second per connection (nginx limit_rate), 0 = unlimited
certs=${5:+$(realpath "$5")}
ssl="" tls="" scheme=http
if [ -n "$certs" ]; then
    ssl=" ssl" scheme=https
    tls="ssl_protocols TLSv1.2 TLSv1.3; ssl_certificate $certs/server.pem; ssl_certificate_key $certs/server.key;"
fi
dir=$src/build/demo-server
mkdir -p "$dir/logs" "$dir/tmp"
conf=$dir/nginx.conf
nginx_bin=$(command -v nginx || echo /usr/sbin/nginx)

stop() {
    if [ -f "$dir/nginx.pid" ]; then
        kill "$(cat "$dir/nginx.pid")" 2>/dev/null || true
        for _ in $(seq 50); do [ -f "$dir/nginx.pid" ] || break; sleep 0.1; done
        rm -f "$dir/nginx.pid"
    fi
}

case $action in
start)
    stop
    sed -e "s|@ROOT@|$root|g" -e "s|@PORT@|$port|g" -e "s|@DIR@|$dir|g" -e "s|@RATE@|$rate|g" \
        -e "s|@SSL@|$ssl|g" -e "s|@TLS@|$tls|g" "$here/demo-server/nginx.conf.in" >"$conf"
    "$nginx_bin" -p "$dir" -c "$conf"
    for _ in $(seq 50); do
        (exec 3<>/dev/tcp/127.0.0.1/"$port") 2>/dev/null && { echo "demo server: $scheme://127.0.0.1:$port/ serving $root"; exit 0; }
        sleep 0.1
    done
    echo "demo server did not start; see $dir/logs/error.log" >&2
    exit 1
    ;;
stop) stop ;;
*) echo "usage: $0 start|stop [ROOT] [PORT] [RATE] [CERTS]" >&2; exit 2 ;;
esac

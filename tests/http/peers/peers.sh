#!/usr/bin/env bash
# netget against real peers: files of several sizes from a private nginx,
# fetched directly and through a private tinyproxy, compared byte for byte;
# a refused port and an unresolvable name give the exact messages.
#
#   peers.sh WORKDIR NETGET [RUNNER]
#
# RUNNER, when given, runs NETGET (the Windows build under Wine). Both servers
# listen on loopback only and are always stopped on exit.
set -euo pipefail

work=$1
netget=$(realpath "$2")
runner=${3:-}

fail() { echo "FAIL: $*" >&2; exit 1; }

rm -rf "$work"
mkdir -p "$work/www/dir" "$work/out" "$work/nginx/logs" "$work/nginx/tmp"
cd "$work"

pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
}
trap cleanup EXIT

# Content: empty, small, just above one receive portion, several MiB.
: > www/empty.bin
printf 'hello\n' > www/small.txt
head -c 32769 /dev/urandom > www/dir/portion.bin
head -c $((5 * 1024 * 1024 + 7)) /dev/urandom > www/big.bin
files=(empty.bin small.txt dir/portion.bin big.bin)

free_port() {
    local p
    for _ in $(seq 1 50); do
        p=$((20000 + RANDOM % 30000))
        if ! (exec 3<>"/dev/tcp/127.0.0.1/$p") 2>/dev/null; then echo "$p"; return; fi
    done
    fail "no free port"
}

wait_listening() {
    local port=$1
    for _ in $(seq 1 100); do
        if (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; then return 0; fi
        sleep 0.05
    done
    return 1
}

http_port=$(free_port)
# Workers started by root would run as an unprivileged user that may not
# reach a work folder below a private home; keep them as the caller.
nginx_user=""
[ "$(id -u)" -eq 0 ] && nginx_user="user root root;"
cat > nginx/nginx.conf <<CONF
daemon off;
$nginx_user
worker_processes 1;
pid $work/nginx/nginx.pid;
error_log $work/nginx/logs/error.log;
events { worker_connections 64; }
http {
    access_log off;
    client_body_temp_path $work/nginx/tmp/body;
    proxy_temp_path $work/nginx/tmp/proxy;
    fastcgi_temp_path $work/nginx/tmp/fastcgi;
    uwsgi_temp_path $work/nginx/tmp/uwsgi;
    scgi_temp_path $work/nginx/tmp/scgi;
    default_type application/octet-stream;
    server {
        listen 127.0.0.1:$http_port;
        root $work/www;
    }
}
CONF
timeout 120 nginx -p "$work/nginx" -c "$work/nginx/nginx.conf" 2>nginx/logs/stderr.log &
pids+=($!)
wait_listening "$http_port" || fail "nginx did not start: $(cat nginx/logs/*.log)"

proxy_port=$(free_port)
cat > tinyproxy.conf <<CONF
User nobody
Group nogroup
Port $proxy_port
Listen 127.0.0.1
Timeout 30
MaxClients 10
Allow 127.0.0.1
LogLevel Error
CONF
timeout 120 tinyproxy -d -c "$work/tinyproxy.conf" >tinyproxy.log 2>&1 &
pids+=($!)
wait_listening "$proxy_port" || fail "tinyproxy did not start: $(cat tinyproxy.log)"

run_netget() { timeout 60 ${runner:+"$runner"} "$netget" "$@"; }

base="http://127.0.0.1:$http_port"
checks=0

# Each file alone, directly and through the proxy.
for f in "${files[@]}"; do
    name=$(basename "$f")
    for mode in direct proxy; do
        rm -f "out/$name"
        if [ "$mode" = proxy ]; then
            (cd out && run_netget --proxy "127.0.0.1:$proxy_port" "$base/$f") || fail "$mode $f"
        else
            (cd out && run_netget "$base/$f") || fail "$mode $f"
        fi
        cmp "www/$f" "out/$name" || fail "$mode $f differs"
        checks=$((checks + 1))
    done
done

# All files with one client and one connection, named with -o.
args=()
for f in "${files[@]}"; do args+=(-o "all-$(basename "$f")" "$base/$f"); done
(cd out && run_netget "${args[@]}") || fail "several URLs in one run"
for f in "${files[@]}"; do cmp "www/$f" "out/all-$(basename "$f")" || fail "one run: $f differs"; done
checks=$((checks + 1))

# --retry changes nothing for a download that does not break, and takes only
# a count: anything else is a usage error (exit 2).
(cd out && run_netget --retry 3 -o retry-big.bin "$base/big.bin") || fail "--retry 3"
cmp www/big.bin out/retry-big.bin || fail "--retry 3: big.bin differs"
for bad in x -1 101; do
    set +e
    (cd out && run_netget --retry "$bad" "$base/small.txt" 2>/dev/null)
    rc=$?
    set -e
    [ $rc -eq 2 ] || fail "--retry $bad: exit code $rc"
done
checks=$((checks + 1))

# A missing file: the status line as message, no file left behind, exit 1.
set +e
msg=$(cd out && run_netget -o missing.bin "$base/nothing-here" 2>&1)
rc=$?
set -e
[ $rc -eq 1 ] || fail "404 exit code $rc"
[ "$msg" = "HTTP/1.1 404 Not Found" ] || fail "404 message: $msg"
[ ! -e out/missing.bin ] || fail "404 left a file"
checks=$((checks + 1))

expect_message() {
    local expected=$1
    shift
    local out rc
    set +e
    out=$(cd out && run_netget -o x.bin "$@" 2>&1)
    rc=$?
    set -e
    [ $rc -eq 1 ] || fail "exit code $rc for $*"
    [ "$out" = "$expected" ] || fail "message for $*: $(printf %q "$out")"
    checks=$((checks + 1))
}
refused=$(free_port)
expect_message $'Socket Error # 10061\r\nConnection refused.' "http://127.0.0.1:$refused/x"
expect_message $'Socket Error # 11001\r\nHost not found.' "http://no-such-host.invalid/x"

echo "$checks passed, 0 failed"

#!/usr/bin/env bash
# netget against real peers: files of several sizes from a private nginx,
# fetched directly and through a private tinyproxy, compared byte for byte;
# a refused port and an unresolvable name give the exact messages. The same
# over HTTPS (nginx with certificates of a test authority made here, the
# proxy's CONNECT tunnel), with keep-alive, and each certificate that must be
# refused, a proxy that refuses the tunnel and a TLS server that stays silent
# ending with its message and no file.
#
#   peers.sh WORKDIR NETGET [RUNNER TRUST_ROOT]
#
# RUNNER, when given, runs NETGET (the Windows build under Wine), and
# TRUST_ROOT adds the test authority to the root store of its Wine prefix;
# natively netget trusts it through --cacert. Every server listens on
# loopback only and is always stopped on exit.
set -euo pipefail

work=$1
netget=$(realpath "$2")
runner=${3:-}
trust_root=${4:+$(realpath "$4")}
src=$(cd "$(dirname "${BASH_SOURCE[0]}")/../../.." && pwd)

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
https_port=$(free_port)
# The certificates live beside the work folder: their root outlives a run.
bash "$src/scripts/make-certs.sh" "$work/../certs"
cp -r "$work/../certs" certs
cp certs/server.pem certs/current.pem
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
    # The certificate is read at each handshake (a variable in its path), so
    # the tests change it by copying another one to current.pem.
    log_format connection '\$connection \$request_uri \$ssl_protocol';
    map \$ssl_server_name \$cert_dir { default $work/certs; }
    server {
        listen 127.0.0.1:$https_port ssl;
        ssl_protocols TLSv1.2 TLSv1.3;
        ssl_certificate \$cert_dir/current.pem;
        ssl_certificate_key $work/certs/server.key;
        access_log $work/nginx/logs/https.log connection;
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

# A second proxy that allows tunnels to port 1 only, so refuses ours.
refusing_port=$(free_port)
sed -e "s/^Port .*/Port $refusing_port/" tinyproxy.conf >refusing.conf
echo "ConnectPort 1" >>refusing.conf
timeout 120 tinyproxy -d -c "$work/refusing.conf" >refusing.log 2>&1 &
pids+=($!)
wait_listening "$refusing_port" || fail "the second tinyproxy did not start: $(cat refusing.log)"

# A TLS server that completes the handshake and then sends nothing.
silent_port=$(free_port)
mkfifo silent.in
timeout 120 openssl s_server -quiet -accept "127.0.0.1:$silent_port" -cert certs/partial.pem \
    -cert_chain certs/intermediate.pem \
    -key certs/server.key <silent.in >/dev/null 2>&1 &
pids+=($!)
exec 7>silent.in
wait_listening "$silent_port" || fail "openssl s_server did not start"

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

# ---- HTTPS
# Natively the test authority is trusted through --cacert; under Wine it is
# made a root of the prefix, as an administrator makes a company's own.
cp certs/ca.pem out/ca.pem
if [ -n "$runner" ]; then
    (cd certs && timeout 60 "$runner" "$trust_root" ca.der) || fail "trust_root"
    trust=()
else
    trust=(--cacert ca.pem)
fi
sbase="https://localhost:$https_port"

for f in "${files[@]}"; do
    name=$(basename "$f")
    for mode in direct proxy; do
        rm -f "out/$name"
        if [ "$mode" = proxy ]; then
            (cd out && run_netget "${trust[@]}" --proxy "127.0.0.1:$proxy_port" "$sbase/$f") ||
                fail "https $mode $f"
        else
            (cd out && run_netget "${trust[@]}" "$sbase/$f") || fail "https $mode $f"
        fi
        cmp "www/$f" "out/$name" || fail "https $mode $f differs"
        checks=$((checks + 1))
    done
done

# All files over one TLS connection, directly and through one tunnel: nginx
# logs each request with the number of its connection.
for mode in direct proxy; do
    before=$(wc -l <nginx/logs/https.log)
    args=()
    [ "$mode" = proxy ] && args=(--proxy "127.0.0.1:$proxy_port")
    for f in "${files[@]}"; do args+=(-o "tls-$(basename "$f")" "$sbase/$f"); done
    (cd out && run_netget "${trust[@]}" "${args[@]}") || fail "https $mode: several URLs in one run"
    for f in "${files[@]}"; do
        cmp "www/$f" "out/tls-$(basename "$f")" || fail "https $mode one run: $f differs"
    done
    connections=$(tail -n +$((before + 1)) nginx/logs/https.log | cut -d' ' -f1 | sort -u | wc -l)
    requests=$(tail -n +$((before + 1)) nginx/logs/https.log | wc -l)
    [ "$requests" -eq "${#files[@]}" ] || fail "https $mode: $requests requests logged"
    [ "$connections" -eq 1 ] || fail "https $mode: $connections connections for one run"
    # TLS 1.3 where the platform offers it: GnuTLS does, Wine's SChannel
    # stops at 1.2.
    protocol=$(tail -n 1 nginx/logs/https.log | cut -d' ' -f3)
    expected=TLSv1.3
    [ -n "$runner" ] && expected=TLSv1.2
    [ "$protocol" = "$expected" ] || fail "https $mode: $protocol instead of $expected"
    checks=$((checks + 1))
done

# Refusals: the message, exit code 1, no file, and no request on the server.
expect_refusal() {
    local cert=$1 expected=$2
    shift 2
    cp "certs/$cert.pem" certs/current.pem
    local before
    before=$(wc -l <nginx/logs/https.log)
    rm -f out/x.bin
    expect_message "$expected" "$@"
    [ ! -e out/x.bin ] || fail "$cert: a file was left"
    [ "$(wc -l <nginx/logs/https.log)" -eq "$before" ] || fail "$cert: a request was sent"
}
untrusted="The certificate of localhost is not issued by a trusted certification authority."
for cert in selfsigned untrusted partial; do
    expect_refusal "$cert" "$untrusted" "${trust[@]}" "$sbase/small.txt"
done
expect_refusal expired "The certificate of localhost has expired or is not valid yet." \
    "${trust[@]}" "$sbase/small.txt"
expect_refusal wronghost "The certificate of the server is not valid for the name localhost." \
    "${trust[@]}" "$sbase/small.txt"
expect_refusal untrusted "$untrusted" "${trust[@]}" --proxy "127.0.0.1:$proxy_port" "$sbase/small.txt"
# Without the test authority (natively: the system bundle alone) even the
# good certificate is refused.
[ -n "$runner" ] || expect_refusal server "$untrusted" "$sbase/small.txt"
expect_refusal server "The proxy refused the connection to localhost:$https_port: HTTP/1.1 403 Access violation" \
    "${trust[@]}" --proxy "127.0.0.1:$refusing_port" "$sbase/small.txt"
cp certs/server.pem certs/current.pem
expect_message "Read timed out." "${trust[@]}" --timeout 1000 "https://localhost:$silent_port/x"
[ ! -e out/x.bin ] || fail "silent server: a file was left"

echo "$checks passed, 0 failed"

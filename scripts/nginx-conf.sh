# Sourced by the scripts that run a private nginx (the end-to-end tests, the
# wizard benchmark).
#
# nginx_conf WORK [LINE...]: prints a configuration of one worker in the
# foreground whose pid, error log and temporary files go below WORK (WORK/logs
# and WORK/tmp must exist), with the LINEs (directives, server blocks) inside
# its http block. Workers started by root would run as an unprivileged user
# that may not reach WORK, so they keep the caller's.
nginx_conf() {
    local work=$1
    shift
    [ "$(id -u)" -ne 0 ] || echo "user root root;"
    cat <<CONF
worker_processes 1;
daemon off;
pid $work/nginx.pid;
error_log $work/logs/nginx-error.log warn;
events { worker_connections 64; }
http {
    client_body_temp_path $work/tmp;
    proxy_temp_path $work/tmp;
    fastcgi_temp_path $work/tmp;
    uwsgi_temp_path $work/tmp;
    scgi_temp_path $work/tmp;
    default_type application/octet-stream;
CONF
    printf '%s\n' "$@"
    echo "}"
}

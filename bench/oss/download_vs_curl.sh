#!/usr/bin/env bash
# Downloads a generated object of SIZE_MIB (default 1024) MiB from nginx on loopback, once through
# OssClient::GetObject (oss_download_bench) and once with `curl -s -o FILE`, and reports the MB/s
# of both, their ratio and the client's peak resident memory. The endpoint is an IPv4 address,
# so the bucket is the first path segment; nginx checks no signature.
#   bench/oss/download_vs_curl.sh [BUILD_DIR]     (default: build)
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/../.."
BUILD=${1:-build}
SIZE_MIB=${SIZE_MIB:-1024}
BUCKET=rxpublish
KEY=bench/object.bin

# nginx and curl come from Debian; install them when missing.
for tool in nginx curl; do
    command -v "$tool" >/dev/null || missing="${missing:-} $tool"
done
if [ -n "${missing:-}" ]; then
    sudo=""
    [ "$(id -u)" -eq 0 ] || sudo=sudo
    $sudo apt-get update -qq
    # shellcheck disable=SC2086
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends ${missing/nginx/nginx-light}
fi

cmake --build "$BUILD" --target oss_download_bench >/dev/null
BENCH=$BUILD/bench/oss/oss_download_bench

WORK=$(mktemp -d /tmp/oss-download-bench.XXXXXX)
chmod 755 "$WORK"
NGINX_PID=""
cleanup() {
    [ -n "$NGINX_PID" ] && kill "$NGINX_PID" 2>/dev/null && wait "$NGINX_PID" 2>/dev/null
    rm -rf "$WORK"
}
trap cleanup EXIT

mkdir -p "$WORK/www/$BUCKET/bench" "$WORK/tmp"
echo "generating ${SIZE_MIB} MiB object" >&2
head -c "$((SIZE_MIB * 1024 * 1024))" /dev/urandom >"$WORK/www/$BUCKET/$KEY"
chmod -R a+rX "$WORK/www"
PORT=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')

cat >"$WORK/nginx.conf" <<CONF
worker_processes 1;
daemon off;
pid $WORK/nginx.pid;
error_log $WORK/error.log;
events { worker_connections 64; }
http {
    access_log off;
    sendfile on;
    tcp_nopush on;
    client_body_temp_path $WORK/tmp/body;
    proxy_temp_path $WORK/tmp/proxy;
    fastcgi_temp_path $WORK/tmp/fastcgi;
    uwsgi_temp_path $WORK/tmp/uwsgi;
    scgi_temp_path $WORK/tmp/scgi;
    server {
        listen 127.0.0.1:$PORT;
        root $WORK/www;
    }
}
CONF
nginx -p "$WORK" -c "$WORK/nginx.conf" -e "$WORK/error.log" &
NGINX_PID=$!
for _ in $(seq 50); do
    curl -s -o /dev/null "http://127.0.0.1:$PORT/" && break
    sleep 0.1
done

# Both read the object from the page cache.
cat "$WORK/www/$BUCKET/$KEY" >/dev/null

# Three rounds, alternating which goes first; the best of each counts, since other work on the
# machine only ever slows a run down.
run_client() {
    "$BENCH" "127.0.0.1:$PORT" "$BUCKET" "$KEY" "$WORK/client.bin" >>"$WORK/client.txt"
    rm -f "$WORK/client.bin"
}
run_curl() {
    curl -s -o "$WORK/curl.bin" -w '%{size_download} %{time_total}\n' \
        "http://127.0.0.1:$PORT/$BUCKET/$KEY" >>"$WORK/curl.txt"
    rm -f "$WORK/curl.bin"
}
for round in 1 2 3; do
    if [ $((round % 2)) -eq 1 ]; then run_client; run_curl; else run_curl; run_client; fi
    echo "round $round: client $(tail -1 "$WORK/client.txt") / curl $(tail -1 "$WORK/curl.txt")" >&2
done

python3 - "$WORK/client.txt" "$WORK/curl.txt" <<'PY'
import sys
client = [line.split() for line in open(sys.argv[1])]
curl = [line.split() for line in open(sys.argv[2])]
best_client = max(client, key=lambda f: float(f[5]))
client_mbps, client_s = float(best_client[5]), float(best_client[3])
peak_mb = max(float(f[7]) for f in client) / 1024
size, curl_s = min(((float(b), float(t)) for b, t in curl), key=lambda f: f[1])
curl_mbps = size / curl_s / 1e6
print("object       %.0f MiB" % (size / 2**20))
print("GetObject    %8.1f MB/s  (%.2f s), peak RSS %.1f MB" % (client_mbps, client_s, peak_mb))
print("curl -o      %8.1f MB/s  (%.2f s)" % (curl_mbps, curl_s))
print("ratio        %8.2f  (target >= 0.90; peak RSS target < 64 MB)" % (client_mbps / curl_mbps))
PY

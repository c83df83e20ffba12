#!/usr/bin/env bash
# One whole installation of a release-like sample (SIZE_MIB MiB in FILES files, default 300 and
# 3,000, without Quant) served by nginx on loopback, once through the install worker
# (core_install_bench) and once as curl downloading the same objects plus `unzip -o -q`
# extracting them in the worker's order; three rounds, alternating which goes first, best of
# each. Reports both times, their ratio against the target (worker <= 1.2 x curl + unzip plus
# the worker's fixed pauses of 0.6 s) and the worker's peak resident memory (target < 64 MB).
# nginx checks no signature.
#   bench/core/install_vs_curl.sh [BUILD_DIR]     (default: build)
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/../.."
BUILD=${1:-build}
SIZE_MIB=${SIZE_MIB:-300}
FILES=${FILES:-3000}
BUCKET=rxpublish
REMOTE=9.5BRivostelIE
FIX=9.5.7.2

for tool in nginx curl unzip; do
    command -v "$tool" >/dev/null || missing="${missing:-} $tool"
done
if [ -n "${missing:-}" ]; then
    sudo=""
    [ "$(id -u)" -eq 0 ] || sudo=sudo
    $sudo apt-get update -qq
    # shellcheck disable=SC2086
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends ${missing/nginx/nginx-light}
fi

cmake --build "$BUILD" --target core_install_bench sample_client >/dev/null
BENCH=$BUILD/bench/core/core_install_bench

WORK=$(mktemp -d /tmp/install-bench.XXXXXX)
chmod 755 "$WORK"
NGINX_PID=""
cleanup() {
    [ -n "$NGINX_PID" ] && kill "$NGINX_PID" 2>/dev/null && wait "$NGINX_PID" 2>/dev/null
    rm -rf "$WORK"
}
trap cleanup EXIT

mkdir -p "$WORK/tmp"
echo "building a release-like sample: ${SIZE_MIB} MiB in ${FILES} files" >&2
tools/make-sample-release --client "$BUILD/tools/sample_client" --out "$WORK/www" --no-quant \
    --release-like --size-mib "$SIZE_MIB" --files "$FILES" >/dev/null
chmod -R a+rX "$WORK/www"
du -sh "$WORK/www/$BUCKET/$REMOTE" >&2
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
# Both read the packages from the page cache.
find "$WORK/www" -type f -exec cat {} + >/dev/null

run_worker() {
    rm -rf "$WORK/root"
    mkdir -p "$WORK/root/drive_c" "$WORK/root/registry"
    WINROOT=$WORK/root WINLAYER_DISPLAY=headless WINLAYER_USER=bench WINLAYER_CONSOLE_USER=bench \
        "$BENCH" "127.0.0.1:$PORT" >>"$WORK/worker.txt"
    rm -rf "$WORK/root"
}
run_curl_unzip() {
    rm -rf "$WORK/curl"
    mkdir -p "$WORK/curl/staging"
    local start end url=http://127.0.0.1:$PORT/$BUCKET/$REMOTE
    start=$(date +%s.%N)
    for object in summary.ini base.zip config.zip "fix/$FIX.zip"; do
        curl -s -f -o "$WORK/curl/staging/$(basename "$object")" "$url/$object"
    done
    for package in base.zip "$FIX.zip" config.zip; do
        unzip -o -q "$WORK/curl/staging/$package" -d "$WORK/curl/staging"
    done
    end=$(date +%s.%N)
    echo "$start $end" | awk '{printf "curl+unzip seconds %.3f\n", $2 - $1}' >>"$WORK/curl.txt"
    rm -rf "$WORK/curl"
}
for round in 1 2 3; do
    if [ $((round % 2)) -eq 1 ]; then run_worker; run_curl_unzip; else run_curl_unzip; run_worker; fi
    echo "round $round: $(tail -1 "$WORK/worker.txt") / $(tail -1 "$WORK/curl.txt")" >&2
done

python3 - "$WORK/worker.txt" "$WORK/curl.txt" <<'PY'
import sys
worker = [line.split() for line in open(sys.argv[1])]
curl = [line.split() for line in open(sys.argv[2])]
if any(f[1] != "done" for f in worker):
    print("the worker failed: %s" % worker)
    sys.exit(1)
worker_s = min(float(f[3]) for f in worker)
peak_mb = max(float(f[7]) for f in worker) / 1024
curl_s = min(float(f[2]) for f in curl)
print("worker           %6.2f s, peak RSS %.1f MB" % (worker_s, peak_mb))
print("curl + unzip     %6.2f s" % curl_s)
print("worker - 0.6 s   %6.2f x curl + unzip  (target <= 1.20; peak RSS target < 64 MB)"
      % ((worker_s - 0.6) / curl_s))
PY

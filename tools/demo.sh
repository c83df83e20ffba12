#!/usr/bin/env bash
# demo.sh: the installer at work against a local bucket, in a Windows root of its own.
#
#   tools/demo.sh BUILD [--lang zh_CN|zh_TW|en_US] [--fail | --tamper] [--out DIR]
#                 [--release "ARGS"] [--keep-root] [--env ARG]... [--expect-failure]
#                 [--expect-failure-at-start] [--program FILE] [--tls-cert FILE --tls-key FILE]
#
# BUILD is a configured and built build folder (./run demo gives build/). The steps:
#  1. a fresh folder DIR (default out/demo/), whose Windows root DIR/winroot the installer's
#     first use makes;
#  2. the sample release (tools/make-sample-release, signed with the demo key) in DIR/bucket,
#     without its runtime package with --fail; with --tamper its runtime package replaced by
#     another valid zip, which the bucket serves with a matching CRC-64, so that only a build
#     with the release key (./run demo makes one) refuses it;
#  3. tools/local-bucket serving it on the endpoint compiled into the build;
#  4. the installer, in that root: with a usable DISPLAY in a real window that you click;
#     without one on a virtual display (tools/xvfb-session), where xdotool presses Install and
#     then Open (the cross with --fail) and tools/xshot photographs each state into DIR/*.png;
#  5. a summary: the installation folder, "update.ini" and the two configuration keys, the
#     registry entries, the desktop shortcut, the install log (as UTF-8), the started client
#     and the pictures.
# --lang sets the installer's LANG and LC_ALL (its window's language); the default is the
# environment's. For the end-to-end tests: --release passes ARGS to make-sample-release,
# --keep-root installs into the root a previous run left in DIR, and --env hands ARG to env(1)
# before the installer (NAME=VALUE, or -u then NAME); --expect-failure drives a failing
# installation as --fail does, without removing anything from the release, and
# --expect-failure-at-start one that fails before its first download completes (no Installing
# picture); --program runs FILE instead of BUILD/installer/brivostel-setup; --tls-cert and
# --tls-key make the bucket serve HTTPS with that certificate and key (for a program whose
# endpoint is https://). Exits 0 when the run went as planned (an installation, or with --fail a failed
# one), 1 otherwise.
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD=$(cd "${1:?usage: demo.sh BUILD [--lang zh_CN|zh_TW|en_US] [--fail] [--out DIR]}" && pwd)
shift
LANGUAGE="" FAIL=0 REMOVE_PACKAGE=0 TAMPER=0 OUT=$ROOT/out/demo RELEASE_ARGS="" KEEP_ROOT=0 EXTRA_ENV=()
PROGRAM=$BUILD/installer/brivostel-setup FAIL_AT_START=0 TLS_ARGS=()
ARGS=("$@")
while [ $# -gt 0 ]; do
    case $1 in
        --release) RELEASE_ARGS=${2?--release needs its arguments}; shift 2 ;;
        --keep-root) KEEP_ROOT=1; shift ;;
        --env) EXTRA_ENV+=("${2:?--env needs an argument}"); shift 2 ;;
        --lang) LANGUAGE=${2:?--lang needs zh_CN, zh_TW or en_US}; shift 2 ;;
        --fail) FAIL=1; REMOVE_PACKAGE=1; shift ;;
        --tamper) FAIL=1; TAMPER=1; shift ;;
        --expect-failure) FAIL=1; shift ;;
        --expect-failure-at-start) FAIL=1; FAIL_AT_START=1; shift ;;
        --program) PROGRAM=${2:?--program needs a file}; shift 2 ;;
        --tls-cert | --tls-key) TLS_ARGS+=("$1" "${2:?$1 needs a file}"); shift 2 ;;
        --out) OUT=${2:?--out needs a folder}; shift 2 ;;
        *) echo "demo: unknown argument $1" >&2; exit 2 ;;
    esac
done
case $LANGUAGE in
    '' | zh_CN | zh_TW | en_US) ;;
    *) echo "demo: --lang takes zh_CN, zh_TW or en_US" >&2; exit 2 ;;
esac

# Without a usable display, the whole demo runs again on a virtual one of its own.
display_usable() { [ -n "${DISPLAY:-}" ] && timeout 5 xdotool getdisplaygeometry >/dev/null 2>&1; }
if [ -z "${DEMO_DRIVEN:-}" ] && ! display_usable; then
    DEMO_DRIVEN=1 exec "$ROOT/tools/xvfb-session" -- "${BASH_SOURCE[0]}" "$BUILD" "${ARGS[@]}"
fi

XSHOT=$BUILD/tools/xshot
CLIENT=$BUILD/tools/sample_client
TITLE='远帆'

say() { printf '\033[1m==> %s\033[0m\n' "$*" >&2; }
die() { printf 'demo: %s\n' "$*" >&2; exit 1; }

for f in "$PROGRAM" "$XSHOT" "$CLIENT"; do
    [ -x "$f" ] || die "$f is missing: build first (./run demo does)"
done

cache_value() { sed -n "s/^$1:[A-Z]*=//p" "$BUILD/CMakeCache.txt"; }
ENDPOINT=$(cache_value INSTALLER_OSS_ENDPOINT)
ENDPOINT=${ENDPOINT#http://}
case $ENDPOINT in
    https://*)
        ENDPOINT=${ENDPOINT#https://}
        [ ${#TLS_ARGS[@]} = 4 ] || die "this build talks HTTPS to $ENDPOINT: give --tls-cert and
      --tls-key of a certificate that its CA bundle (INSTALLER_OSS_CA_BUNDLE) trusts" ;;
esac
BUCKET=$(cache_value INSTALLER_OSS_BUCKET)
ACCOUNT=$(cache_value INSTALLER_OSS_ACCESS_KEY_ID):$(cache_value INSTALLER_OSS_ACCESS_KEY_SECRET)
HOST=${ENDPOINT%:*}
PORT=${ENDPOINT##*:}
case $HOST in
    127.* | localhost) ;;
    *) die "this build talks to $ENDPOINT, not to a local bucket; the demo needs a build with
      -DINSTALLER_OSS_ENDPOINT=127.0.0.1:9095 (the default)" ;;
esac
[ "$PORT" != "$ENDPOINT" ] || die "the build's endpoint $ENDPOINT names no port"

# 1. A fresh folder and Windows root.
if [ "$KEEP_ROOT" = 1 ]; then
    find "$OUT" -mindepth 1 -maxdepth 1 ! -name winroot -exec rm -rf {} +
else
    rm -rf "$OUT"
fi
mkdir -p "$OUT"
# Nothing prepares the root: the layer makes it, with a new machine's folders, at first use.
export WINROOT=$OUT/winroot
# The sample client writes how it was started here.
export BRIVOSTEL_CLIENT_RECORD=$OUT/client-started.txt
BUCKET_PID=""
PROGRAM_PID=""
cleanup() {
    [ -n "$PROGRAM_PID" ] && kill "$PROGRAM_PID" 2>/dev/null
    # The bucket is waited for, so that its port is free when the demo ends.
    [ -n "$BUCKET_PID" ] && kill "$BUCKET_PID" 2>/dev/null && wait "$BUCKET_PID" 2>/dev/null
    # The sample client stays up until it is ended: end the one this demo started on the
    # virtual display; a real window stays for the user to close.
    if [ -n "${DEMO_DRIVEN:-}" ] && [ -f "$BRIVOSTEL_CLIENT_RECORD" ]; then
        local pid
        pid=$(sed -n 's/^pid=//p' "$BRIVOSTEL_CLIENT_RECORD")
        [ -n "$pid" ] && kill "$pid" 2>/dev/null
    fi
    return 0
}
trap cleanup EXIT

# 2. The sample release.
say "making the sample release in $OUT/bucket"
python3 "$ROOT/tools/make-sample-release" --client "$CLIENT" --out "$OUT/bucket" \
    --bucket "$BUCKET" $RELEASE_ARGS >/dev/null
RELEASE=$OUT/bucket/$BUCKET/9.5BRivostelIE
if [ "$REMOVE_PACKAGE" = 1 ]; then
    rm "$RELEASE"/fix/*.zip
    say "--fail: the runtime package is removed from the bucket, so the installation fails at its download"
fi
RELEASE_KEY=$(cache_value INSTALLER_RELEASE_PUBLIC_KEY)
if [ "$TAMPER" = 1 ]; then
    # The other broker's runtime is a valid zip: only its SHA-256 tells it from the signed one.
    runtime=$(sed -n 's/^471203=//p' "$RELEASE/summary.ini" | head -n 1 | tr -d '\r')
    cp "$RELEASE/fix/9.5.6.0.zip" "$RELEASE/fix/$runtime.zip"
    say "--tamper: fix/$runtime.zip is replaced by another package; the bucket sends its CRC-64 along"
    [ -n "$RELEASE_KEY" ] || say "this build has no release key (INSTALLER_RELEASE_PUBLIC_KEY): it installs the forged package"
fi

# 3. The local bucket on the build's endpoint.
say "starting tools/local-bucket on $HOST:$PORT"
python3 "$ROOT/tools/local-bucket" --root "$OUT/bucket" --bucket "$BUCKET" --account "$ACCOUNT" \
    --host "$HOST" --port "$PORT" --port-file "$OUT/bucket.port" --watch-pid $$ --quiet \
    "${TLS_ARGS[@]}" >/dev/null 2>"$OUT/bucket.log" &
BUCKET_PID=$!
until [ -s "$OUT/bucket.port" ]; do
    if ! kill -0 "$BUCKET_PID" 2>/dev/null; then
        BUCKET_PID=""
        if grep -q "Address already in use" "$OUT/bucket.log"; then
            die "port $PORT on $HOST is taken (another demo, or a test, is running?): stop it and
      run the demo again, or build with another -DINSTALLER_OSS_ENDPOINT"
        fi
        cat "$OUT/bucket.log" >&2
        die "tools/local-bucket did not start"
    fi
    sleep 0.05
done
# Keep the installing state on screen: the configuration package answers 1.5 s late.
python3 - "$HOST" "$PORT" ${#TLS_ARGS[@]} <<'PY'
import http.client, json, ssl, sys
if sys.argv[3] == "0":
    c = http.client.HTTPConnection(sys.argv[1], int(sys.argv[2]), timeout=5)
else:  # the demo's own control request, whatever certificate the bucket was given
    c = http.client.HTTPSConnection(sys.argv[1], int(sys.argv[2]), timeout=5,
                                    context=ssl._create_unverified_context())
c.request("POST", "/_local/faults", json.dumps(
    [{"method": "GET", "key": "9.5BRivostelIE/config.zip", "delay_ms": 1500}]))
assert c.getresponse().status == 200
PY

installer_env=("${EXTRA_ENV[@]}")
[ -n "$LANGUAGE" ] && installer_env+=(LANG="$LANGUAGE.UTF-8" LC_ALL="$LANGUAGE.UTF-8")
run_installer() { env "${installer_env[@]}" "$PROGRAM" "$@"; }

# 4. The installer.
STATUS=0
shot() {  # NAME X,Y=RRGGBB: photographs the window once that pixel shows the state
    if "$XSHOT" --window "$WID" --wait-pixel "$2" --timeout 20 "$OUT/$1.png"; then
        PICTURES+=("$OUT/$1.png")
    else
        echo "demo: the $1 state did not show (pixel $2): $OUT/$1.png is what the window showed" >&2
        STATUS=1
    fi
}
click() { xdotool mousemove --sync $((X + $1)) $((Y + $2)) click 1; }
away() { xdotool mousemove --sync 5 5; }

drive() {
    timeout 5 xdotool mousemove --sync 5 5 || true
    run_installer >"$OUT/installer.out" 2>&1 &
    PROGRAM_PID=$!
    WID=$(timeout 20 xdotool search --sync --name "^$TITLE\$" | head -n 1) ||
        die "the installer's window did not appear (its output: $OUT/installer.out)"
    # The button's plain fill (RGB 165,21,16) in Idle and Finished. Once it shows, the window
    # has its place: read before, on a loaded machine, it could still be 1 x 1 at 0,0.
    shot 1-idle 205,220=A51510
    local X Y WIDTH HEIGHT SCREEN WINDOW
    eval "$(xdotool getwindowgeometry --shell "$WID")"
    say "the window is at $X,$Y ($WIDTH x $HEIGHT); photographing its states"
    say "pressing Install"
    click 250 220
    away
    # The bar's fill (RGB 252,115,115) at 26 %, where it waits for the configuration package:
    # two of six downloads (the manifest and the base package) make 2 * 80 / 6 %.
    [ "$FAIL_AT_START" = 1 ] || shot 2-installing 147,267=FC7373
    if [ "$FAIL" = 1 ]; then
        # The cross (RGB 231,231,231) comes back in Failed.
        shot 3-failed 484,8=E7E7E7
        STAGING_LOG=$(find "$WINROOT/drive_c/Users" -path '*temp/log/install.log' | head -n 1)
        [ -n "$STAGING_LOG" ] && cp "$STAGING_LOG" "$OUT/install.log"
        STAGING=${STAGING_LOG%/log/install.log}
        say "pressing the cross"
        click 488 12
    else
        shot 3-finished 205,220=A51510
        say "pressing Open"
        click 250 220
        away
        # The sample client shows a small white window naming its version.
        local client
        if client=$(timeout 20 xdotool search --sync --name '^brivostel v9\.5' | head -n 1) &&
            "$XSHOT" --window "$client" --wait-pixel 2,2=FFFFFF --timeout 20 "$OUT/4-client.png"; then
            PICTURES+=("$OUT/4-client.png")
        else
            echo "demo: the started client's window did not show" >&2
            STATUS=1
        fi
    fi
    # The program ends with 0 whatever happened to the installation.
    local rc=0
    wait "$PROGRAM_PID" || rc=$?
    PROGRAM_PID=""
    if [ $rc != 0 ]; then
        echo "demo: the installer exited with $rc (its output: $OUT/installer.out)" >&2
        STATUS=1
    fi
}

PICTURES=()
STAGING=""
if [ -z "${DEMO_DRIVEN:-}" ]; then
    say "the installer's window is open on $DISPLAY: press the button (and Open at the end)"
    run_installer || { echo "demo: the installer exited with $?" >&2; STATUS=1; }
    [ -s "$BRIVOSTEL_CLIENT_RECORD" ] &&
        say "the sample client's window stays open until you close it (two minutes at most)"
else
    drive
fi

# 5. What happened, also kept in DIR/summary.txt.
summarize() {
section() { printf '\n== %s\n' "$*"; }
INSTALL=$(find "$WINROOT/drive_c/Users" -maxdepth 4 -type d -name 'BRivostel*v9.5' | head -n 1)
win_path() { local p=${1#"$WINROOT/drive_c"}; printf 'C:%s' "${p//\//\\}"; }
if [ -n "$INSTALL" ] && [ -f "$INSTALL/update.ini" ]; then
    if [ "$FAIL" = 1 ]; then
        section "The earlier installation, left as it was, is in $(win_path "$INSTALL")"
    else
        section "The client was installed into $(win_path "$INSTALL")"
    fi
    echo "  ($INSTALL)"
    section "update.ini"
    iconv -f GBK -t UTF-8 "$INSTALL/update.ini" | tr -d '\r' | sed 's/^/  /'
    section "The two configuration keys"
    printf '  config\\brivostel.Default.pub: '
    grep -a '^package=' "$INSTALL/config/brivostel.Default.pub" | tr -d '\r'
    printf '  config\\brivostel.Default.pri: '
    grep -a '^language=' "$INSTALL/config/brivostel.Default.pri" | tr -d '\r'
    # After a failure the log to show is the one of the failed run, copied from staging.
    [ "$FAIL" = 0 ] && [ -f "$INSTALL/log/install.log" ] && cp "$INSTALL/log/install.log" "$OUT/install.log"
else
    section "No installation was made"
    [ "$FAIL" = 1 ] || STATUS=1
fi
if [ "$FAIL" = 1 ] && [ -n "$STAGING" ]; then
    if [ -e "$STAGING" ]; then
        echo "  the staging folder $(win_path "$STAGING") is still there" && STATUS=1
    else
        echo "  the staging folder $(win_path "$STAGING") was removed when the installer ended"
    fi
fi

section "Release signature"
if [ -n "$RELEASE_KEY" ]; then
    echo "  this build installs only releases signed with the key $RELEASE_KEY"
else
    echo "  this build has no release key: it does not check signatures"
fi

section "Registry entries ($WINROOT/registry)"
for hive in "$WINROOT"/registry/*.reg; do
    [ -f "$hive" ] || continue
    # The keys that hold values, with their values.
    awk '/^\[/ { key = $0; shown = 0; next }
         /^(@|")/ { if (!shown) { print "  " key; shown = 1 } print "    " $0 }' "$hive"
done

section "Desktop shortcut"
found=0
while IFS= read -r -d '' link; do
    found=1
    echo "  $(win_path "$link")"
    lnkinfo "$link" 2>/dev/null | sed -n 's/^\t*\(Local path\|Description\|Working directory\|Command line arguments\|Icon location\)/    \1/p'
done < <(find "$WINROOT/drive_c/Users" -name '*.lnk' -print0)
[ $found = 1 ] || echo "  none"

if [ -f "$OUT/install.log" ]; then
    section "The install log (converted from GBK)"
    iconv -f GBK -t UTF-8 "$OUT/install.log" | tr -d '\r' | sed 's/^/  /'
fi

section "The started client"
if [ -s "$BRIVOSTEL_CLIENT_RECORD" ]; then
    sed 's/^/  /' "$BRIVOSTEL_CLIENT_RECORD"
else
    echo "  not started"
    [ "$FAIL" = 1 ] || [ -z "${DEMO_DRIVEN:-}" ] || STATUS=1
fi

if [ ${#PICTURES[@]} -gt 0 ]; then
    section "Pictures"
    printf '  %s\n' "${PICTURES[@]}"
fi
return "$STATUS"
}
summarize >"$OUT/summary.txt" && STATUS=0 || STATUS=$?
cat "$OUT/summary.txt"
echo
say "summary: $OUT/summary.txt"
exit "$STATUS"

#!/usr/bin/env bash
# End-to-end tests of the installer program: the real binary on a virtual X display of its own,
# clicked through with xdotool by tools/demo.sh against the local bucket on the build's endpoint,
# then checked on disk, in the registry hives and in the photographs.
#
#   installer_e2e_test.sh SOURCE BUILD install|failure|search-path|reinstall|failed-move|
#                         close-while-downloading|second-start|https
set -uo pipefail

SOURCE=$1 BUILD=$2 CASE=$3
# The endpoint is compiled in, so every run on this machine, from any checkout, uses one port:
# one case at a time, machine-wide.
ENDPOINT=$(sed -n 's/^INSTALLER_OSS_ENDPOINT:[A-Z]*=//p' "$BUILD/CMakeCache.txt")
exec 9>"/tmp/installer-e2e-$ENDPOINT.lock"
flock -w 500 9 || { echo "FAIL: $ENDPOINT stayed in use by other runs for 500 s" >&2; exit 1; }
WORK=$(mktemp -d "${TMPDIR:-/tmp}/installer-e2e.XXXXXX")
BUCKET_PID="" PROGRAM_PID=""
trap '[ -n "$PROGRAM_PID" ] && kill "$PROGRAM_PID" 2>/dev/null
      [ -n "$BUCKET_PID" ] && kill "$BUCKET_PID" 2>/dev/null && wait "$BUCKET_PID" 2>/dev/null
      rm -rf "$WORK"' EXIT
PIXELS="python3 $SOURCE/tests/core/png_pixels.py"
FAILURES=0

fail() { echo "FAIL: $*" >&2; FAILURES=$((FAILURES + 1)); }
expect_eq() { [ "$2" = "$3" ] || fail "$1: expected [$3], got [$2]"; }
expect_file() { [ -e "$1" ] || fail "missing: $1"; }
expect_no_file() { [ ! -e "$1" ] || fail "should not exist: $1"; }
# expect_pixels PICTURE "X,Y=RRGGBB ..."
expect_pixels() {
    local picture=$1 points=() wanted=() got
    for pair in $2; do
        points+=("${pair%=*}")
        wanted+=("${pair#*=}")
    done
    mapfile -t got < <($PIXELS "$picture" "${points[@]}")
    for i in "${!points[@]}"; do
        expect_eq "$(basename "$picture") at ${points[$i]}" "${got[$i]:-none}" "${wanted[$i]}"
    done
}
# demo DIR [demo arguments...]: one clicked-through run, its summary in DIR.summary
demo() {
    local dir=$1
    shift
    # The lock stays with this script: nothing the demo starts keeps it.
    DEMO_DRIVEN=1 "$SOURCE/tools/demo.sh" "$BUILD" --out "$dir" "$@" >"$dir.summary" 2>&1 9>&-
    local rc=$?
    [ $rc = 0 ] || { fail "demo $* exited $rc"; sed 's/^/  | /' "$dir.summary" >&2; }
}
# The console user's local application data (the account the layer finds at the console).
local_appdata() {
    local found
    found=$(find "$1/winroot/drive_c/Users" -mindepth 3 -maxdepth 3 -path '*/AppData/Local' 2>/dev/null)
    echo "${found:-$1/winroot/drive_c/Users/$(id -un)/AppData/Local}" | head -n 1
}

case_install() {
    local out=$WORK/run
    demo "$out" --lang en_US
    local install
    install=$(local_appdata "$out")/BRivostel471203v9.5
    # On disk: the packages' files, the versions, the two keys, the log; no staging folder.
    expect_file "$install/brivostel v9.5.exe"
    expect_file "$install/quant/strategy.txt"
    expect_file "$install/log/install.log"
    expect_eq "last package" "$(cat "$install/shared/owner.txt")" quant
    grep -q '^cur=9.5.7.2' "$install/update.ini" || fail "update.ini lacks cur=9.5.7.2"
    grep -q '^package=471203' "$install/config/brivostel.Default.pub" || fail "no package key"
    grep -q '^language=1033' "$install/config/brivostel.Default.pri" || fail "no language key"
    expect_no_file "${install}temp"
    expect_no_file "${install}old"
    # The registry: the uninstall entry and the URL protocol.
    grep -q 'DisplayVersion"="9.5.7.2"' "$out/winroot/registry/HKLM.reg" || fail "no uninstall entry"
    grep -qi 'URL Protocol' "$out/winroot/registry/HKCR.reg" || fail "no URL protocol"
    # The shortcut, on the common desktop of a root that nothing but the program made.
    [ -n "$(find "$out/winroot/drive_c/Users/Public/Desktop" -name '*.lnk')" ] || fail "no shortcut"
    expect_no_file "$out/winroot/drive_c/users"
    # The client was started from the installation folder.
    grep -q 'brivostel v9.5.exe' "$out/client-started.txt" || fail "the client did not start"

    # Idle: the cross (lines from corner to corner of {484,8,492,16}), the button's pen and fill.
    local cross="484,8=E7E7E7 488,12=E7E7E7 492,16=E7E7E7 484,16=E7E7E7 492,8=E7E7E7"
    local button="250,202=D94041 200,220=D94041 299,220=D94041 205,220=A51510 295,230=A51510"
    expect_pixels "$out/1-idle.png" "$cross $button"
    expect_pixels "$out/3-finished.png" "$cross $button"
    # Installing, held at 26 % while the configuration package is answered late: the track's
    # grey outline at 34 and 467, the fill from 37 to its square end before
    # 34 + 3 + 428 * 26 / 100 = 148, white after it; no cross and no button.
    expect_pixels "$out/2-installing.png" \
        "34,267=E2E2E2 467,267=E2E2E2 250,260=E2E2E2 37,267=FC7373 147,267=FC7373 147,264=FC7373
         148,267=FFFFFF 300,267=FFFFFF 464,267=FFFFFF"
    local noCross
    noCross=$($PIXELS "$out/2-installing.png" 488,12)
    [ "$noCross" != E7E7E7 ] || fail "a cross is drawn while installing"
}

case_failure() {
    local out=$WORK/run
    demo "$out" --fail --lang zh_CN
    local install
    install=$(local_appdata "$out")/BRivostel471203v9.5
    # The failed runtime download: no installation, and the staging folder removed when the
    # program ended.
    expect_no_file "$install"
    expect_no_file "${install}temp"
    grep -q 'was removed when the installer ended' "$out.summary" || fail "no removal reported"
    iconv -f GBK -t UTF-8 "$out/install.log" | grep -q '下载运行库失败' ||
        fail "the log lacks the failed step"
    # Failed: the cross is back, the bar keeps its fill, no button.
    expect_pixels "$out/3-failed.png" "484,8=E7E7E7 492,16=E7E7E7 37,267=FC7373"
    expect_no_file "$out/client-started.txt"
}

# The search path the started client inherits, for a given environment of the installer.
client_path() {
    local out=$1
    shift
    demo "$out" --lang en_US "$@"
    sed -n 's/^path=//p' "$out/client-started.txt"
}

case_search_path() {
    expect_eq "path ending in ;" "$(client_path "$WORK/a" --env 'PATH=/usr/bin;')" \
        '/usr/bin;C:\windows\system32;'
    expect_eq "empty path" "$(client_path "$WORK/b" --env 'PATH=')" 'C:\windows\system32;'
    expect_eq "no SystemRoot" \
        "$(client_path "$WORK/c" --env 'PATH=/usr/bin' --env WINLAYER_NO_SYSTEMROOT=1)" /usr/bin
}

case_reinstall() {
    local out=$WORK/run
    demo "$out" --lang en_US
    local install
    install=$(local_appdata "$out")/BRivostel471203v9.5
    expect_file "$install/quant/strategy.txt"
    echo leftover >"$install/leftover.txt"
    # A newer release without the Quant package, into the same root.
    demo "$out" --lang en_US --keep-root --release "--no-quant --fix 9.5.7.3"
    grep -q '^cur=9.5.7.3' "$install/update.ini" || fail "update.ini is not the new release's"
    expect_eq "runtime" "$(cat "$install/runtime/version.txt")" 9.5.7.3
    expect_eq "last package" "$(cat "$install/shared/owner.txt")" config
    # Nothing of the first installation is left, and nothing set aside remains.
    expect_no_file "$install/quant/strategy.txt"
    expect_no_file "$install/leftover.txt"
    expect_no_file "${install}old"
    expect_no_file "${install}temp"
    grep -q 'DisplayVersion"="9.5.7.3"' "$out/winroot/registry/HKLM.reg" ||
        fail "the uninstall entry names the old version"
}

case_failed_move() {
    local out=$WORK/run
    demo "$out" --lang en_US
    local install
    install=$(local_appdata "$out")/BRivostel471203v9.5
    # Another program holds a file of the installation open without delete sharing, so the old
    # folder cannot be moved aside and the new one cannot take its place.
    WINROOT=$out/winroot BRIVOSTEL_CLIENT_RECORD=$WORK/holder.txt \
        "$BUILD/tools/sample_client" hold "$install/uninstall.exe" >/dev/null 2>&1 9>&- &
    local holder=$! waited=0
    until [ -s "$WORK/holder.txt" ] || [ $waited -ge 200 ]; do
        sleep 0.05
        waited=$((waited + 1))
    done
    demo "$out" --lang en_US --keep-root --expect-failure --release "--fix 9.5.7.3"
    kill "$holder" 2>/dev/null
    wait "$holder" 2>/dev/null
    # The old installation is whole, and the staging folder, no copy of its own, is gone.
    grep -q '^cur=9.5.7.2' "$install/update.ini" || fail "the old installation was changed"
    expect_eq "runtime" "$(cat "$install/runtime/version.txt")" 9.5.7.2
    expect_file "$install/brivostel v9.5.exe"
    expect_no_file "${install}temp"
    expect_no_file "${install}old"
    expect_pixels "$out/3-failed.png" "484,8=E7E7E7 492,16=E7E7E7 37,267=FC7373"
}

# start_bucket FOLDER RELEASE_ARGS: a sample release made with RELEASE_ARGS, served by
# local-bucket on the build's endpoint; control METHOD PATH [BODY] talks to its control interface.
cache_value() { sed -n "s/^$1:[A-Z]*=//p" "$BUILD/CMakeCache.txt"; }
HOST=${ENDPOINT%:*} PORT=${ENDPOINT##*:}
start_bucket() {
    local folder=$1 bucket_name account
    bucket_name=$(cache_value INSTALLER_OSS_BUCKET)
    account=$(cache_value INSTALLER_OSS_ACCESS_KEY_ID):$(cache_value INSTALLER_OSS_ACCESS_KEY_SECRET)
    # shellcheck disable=SC2086
    python3 "$SOURCE/tools/make-sample-release" --client "$BUILD/tools/sample_client" \
        --out "$folder" --bucket "$bucket_name" $2 >/dev/null
    python3 "$SOURCE/tools/local-bucket" --root "$folder" --bucket "$bucket_name" \
        --account "$account" --host "$HOST" --port "$PORT" --port-file "$folder.port" --quiet \
        >/dev/null 2>"$folder.log" 9>&- &
    BUCKET_PID=$!
    until [ -s "$folder.port" ]; do
        kill -0 "$BUCKET_PID" 2>/dev/null || { fail "local-bucket did not start"; return 1; }
        sleep 0.05
    done
}
control() {
    python3 - "$HOST" "$PORT" "$@" <<'PY'
import http.client, sys
host, port, method, path = sys.argv[1:5]
c = http.client.HTTPConnection(host, int(port), timeout=5)
c.request(method, "/_local/" + path, sys.argv[5] if len(sys.argv) > 5 else None)
r = c.getresponse()
sys.stdout.write(r.read().decode())
sys.exit(0 if r.status == 200 else 1)
PY
}
# installer ROOT: the program in that root, in English, in the background ($!).
installer() {
    WINROOT=$1 LANG=en_US.UTF-8 LC_ALL=en_US.UTF-8 "$BUILD/installer/brivostel-setup" \
        >>"$WORK/installer.out" 2>&1 9>&- &
}
# press_install WINDOW: clicks the button of the installer's window once it shows it.
press_install() {
    local X Y WIDTH HEIGHT SCREEN WINDOW
    "$BUILD/tools/xshot" --window "$1" --wait-pixel 205,220=A51510 --timeout 20 "$WORK/idle.png" ||
        fail "the installer's button did not show"
    eval "$(xdotool getwindowgeometry --shell "$1")"
    xdotool mousemove --sync $((X + 250)) $((Y + 220)) click 1
}
# wait_for_request PATTERN: until the bucket has received a request whose path (percent-encoded,
# "/" in the key as %2F) matches, 30 s at most.
wait_for_request() {
    local deadline=$((SECONDS + 30))
    until control GET 'requests?format=text' | grep "^path .*$1" >/dev/null; do
        [ $SECONDS -lt $deadline ] || { fail "no request for $1 arrived"; return 1; }
        sleep 0.1
    done
}
# wait_for_end PID SECONDS: until the process has ended, at most that long; prints the ms taken.
wait_for_end() {
    local start waited=0
    start=$(date +%s%N)
    while kill -0 "$1" 2>/dev/null && [ $waited -lt $(($2 * 100)) ]; do
        sleep 0.01
        waited=$((waited + 1))
    done
    echo $((($(date +%s%N) - start) / 1000000))
}
TITLE='^远帆$'

# The system's close during a download whose body stalls: the window manager's close request
# (WM_DELETE_WINDOW, sent by tools/xwm as a window manager sends it) reaches the installer while
# nothing arrives. The program ends within 2 s, with its staging folder removed and the old
# installation as it was.
case_close_while_downloading() {
    local out=$WORK/run
    demo "$out" --lang en_US
    local install
    install=$(local_appdata "$out")/BRivostel471203v9.5
    grep -q '^cur=9.5.7.2' "$install/update.ini" || { fail "no first installation"; return; }

    start_bucket "$WORK/bucket" "--fix 9.5.7.3" || return
    control POST faults '{"method": "GET", "key": "9.5BRivostelIE/base.zip",
        "stall_after": 4096, "stall_seconds": 120}' >/dev/null || fail "no fault rule"
    installer "$out/winroot"
    PROGRAM_PID=$!
    local wid
    wid=$(timeout 20 xdotool search --sync --name "$TITLE" | head -n 1) ||
        { fail "the installer's window did not appear"; return; }
    press_install "$wid"
    # The base package's GET has arrived and its body has stopped after 4 KiB.
    wait_for_request 'base\.zip$' || return
    sleep 1

    "$BUILD/tools/xwm" close "$wid" || fail "xwm could not send the close request"
    local ms rc=0
    ms=$(wait_for_end "$PROGRAM_PID" 10)
    wait "$PROGRAM_PID" || rc=$?
    PROGRAM_PID=""
    echo "the installer ended ${ms} ms after the close request"
    [ "$ms" -lt 2000 ] || fail "the installer took ${ms} ms to end after the close request"
    expect_eq "exit code" "$rc" 0
    # The old installation is whole; nothing of the new one is left.
    grep -q '^cur=9.5.7.2' "$install/update.ini" || fail "the old installation was changed"
    expect_eq "runtime" "$(cat "$install/runtime/version.txt")" 9.5.7.2
    expect_file "$install/brivostel v9.5.exe"
    expect_no_file "${install}temp"
    expect_no_file "${install}old"
}

# A second start while an installation runs: it brings the running installer's window to the
# front (over a window that was mapped after it) and ends, leaving the running installation's
# staging folder alone; the first installation then completes.
case_second_start() {
    local root=$WORK/winroot
    start_bucket "$WORK/bucket" "" || return
    # The base package answers after 15 s: the first installer is busy meanwhile.
    control POST faults '{"method": "GET", "key": "9.5BRivostelIE/base.zip", "delay_ms": 15000}' \
        >/dev/null || fail "no fault rule"
    installer "$root"
    PROGRAM_PID=$!
    local wid
    wid=$(timeout 20 xdotool search --sync --name "$TITLE" | head -n 1) ||
        { fail "the installer's window did not appear"; return; }
    press_install "$wid"
    wait_for_request 'base\.zip$' || return
    local log
    log=$(find "$root/drive_c/Users" -path '*v9.5temp/log/install.log' | head -n 1)
    [ -n "$log" ] || { fail "the first installer has no staging log"; return; }

    # Another window comes up over the installer's.
    WINROOT=$root BRIVOSTEL_CLIENT_RECORD=$WORK/other.txt "$BUILD/tools/sample_client" \
        >/dev/null 2>&1 9>&- &
    local other=$!
    timeout 20 xdotool search --sync --name '^brivostel v9\.5' >/dev/null ||
        fail "the other window did not appear"
    [ "$("$BUILD/tools/xwm" top)" != "$((wid))" ] || fail "the installer is still in front"

    installer "$root"
    local second=$! ms rc=0
    ms=$(wait_for_end "$second" 20)
    wait "$second" || rc=$?
    echo "the second start ended after ${ms} ms"
    kill -0 "$second" 2>/dev/null && fail "the second start is still running"
    expect_eq "second start's exit code" "$rc" 0
    expect_eq "frontmost window" "$("$BUILD/tools/xwm" top)" "$((wid))"
    expect_file "$log"
    expect_eq "installer windows" "$(xdotool search --name "$TITLE" | wc -l)" 1
    kill "$other" 2>/dev/null

    # The first installation goes on to its end: Finished shows the button's fill again (the
    # pointer away from it).
    xdotool mousemove --sync 5 5
    "$BUILD/tools/xshot" --window "$wid" --wait-pixel 205,220=A51510 --timeout 60 \
        "$WORK/finished.png" || fail "the first installation did not finish"
    local install
    install=$(local_appdata "$WORK")/BRivostel471203v9.5
    grep -q '^cur=9.5.7.2' "$install/update.ini" || fail "the first installation is incomplete"
    "$BUILD/tools/xwm" close "$wid" || fail "xwm could not close the installer"
    wait_for_end "$PROGRAM_PID" 10 >/dev/null
    PROGRAM_PID=""
}

# The HTTPS build of the program (build/installer/brivostel-setup-https: the build's endpoint with
# https://, trusting only BRIVOSTEL_TEST_CA_BUNDLE) against the bucket serving certificates made
# here: the test CA's certificate installs; untrusted, expired and wrong-host ones fail before
# any download, say so in the window and the log, and leave the installation as it was.
case_https() {
    local out=$WORK/run certs=$WORK/certs
    "$SOURCE/tests/support/make-test-certificates" "$certs" || { fail "no test certificates"; return; }
    https_demo() {  # CERTIFICATE [demo arguments...]
        local certificate=$1
        shift
        demo "$out" --lang en_US --program "$BUILD/installer/brivostel-setup-https" \
            --tls-cert "$certs/$certificate.crt" --tls-key "$certs/server.key" \
            --env BRIVOSTEL_TEST_CA_BUNDLE="$certs/ca.crt" --env WINLAYER_TEXT_TRACE="$WORK/texts" "$@"
    }
    https_demo good
    local install
    install=$(local_appdata "$out")/BRivostel471203v9.5
    grep -q '^cur=9.5.7.2' "$install/update.ini" || fail "nothing was installed over HTTPS"
    expect_file "$install/quant/strategy.txt"

    local certificate reason
    for certificate in untrusted expired wrong-host; do
        case $certificate in
            untrusted) reason="unable to get local issuer certificate" ;;
            expired) reason="certificate has expired" ;;
            wrong-host) reason="'127.0.0.1'" ;;
        esac
        rm -f "$WORK/texts"
        https_demo "$certificate" --keep-root --expect-failure-at-start --release "--fix 9.5.7.3"
        # The window showed the failed step, the first package download.
        grep -qx 'Download service dependency library Fail' "$WORK/texts" ||
            fail "$certificate: the window did not show the failed download"
        # The log names the refused certificate, for the manifest and for the package.
        local log
        log=$(iconv -f GBK -t UTF-8 "$out/install.log")
        grep -q "9.5BRivostelIE/summary.ini,Request Fail,code:ClientError:200060,.*$reason" \
            <<<"$log" || fail "$certificate: the log does not name the refused certificate"
        grep -q "9.5BRivostelIE/base.zip,Request Fail,code:ClientError:200060" <<<"$log" ||
            fail "$certificate: the log lacks the failed package"
        grep -q '下载服务依赖库失败' <<<"$log" || fail "$certificate: the log lacks the failed step"
        # The installation is the one made over the good certificate, whole.
        grep -q '^cur=9.5.7.2' "$install/update.ini" || fail "$certificate: the installation changed"
        expect_file "$install/quant/strategy.txt"
        expect_file "$install/brivostel v9.5.exe"
        expect_no_file "${install}temp"
        expect_pixels "$out/3-failed.png" "484,8=E7E7E7 492,16=E7E7E7"
    done
}

case $CASE in
    install) case_install ;;
    failure) case_failure ;;
    search-path) case_search_path ;;
    reinstall) case_reinstall ;;
    failed-move) case_failed_move ;;
    close-while-downloading) case_close_while_downloading ;;
    second-start) case_second_start ;;
    https) case_https ;;
    *) echo "unknown case $CASE" >&2; exit 2 ;;
esac
[ $FAILURES = 0 ] && echo "PASS: $CASE"
[ $FAILURES = 0 ]

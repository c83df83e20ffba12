#!/usr/bin/env bash
# End-to-end tests of brivostel-setup.exe under Wine: the real Windows program in a Wine prefix
# of its own, on the virtual X display that tools/xvfb-session gives this script, clicked through
# with xdotool against the local bucket on the build's endpoint, then checked on disk, in the
# registry (wine reg query), in the shortcut (lnkinfo) and in the photographs (xshot).
#
#   wine_e2e_test.sh SOURCE BUILD XSHOT TEMPLATE CASE [LANGUAGE]
#     CASE install (LANGUAGE zh_CN, zh_TW or en_US) or failure (the bucket answers 500)
#     PICTURES=DIR keeps the photographs there as DIR/LANGUAGE/{1-idle,2-installing,...}.png
#
# A new case: a function case_NAME below that calls run_installer and checks what it left, and
# its name in the list of tests/windows/CMakeLists.txt.
set -uo pipefail

SOURCE=$1 BUILD=$2 XSHOT=$3 TEMPLATE=$4 CASE=$5 LANGUAGE=${6:-en_US}
PROGRAM=$BUILD/installer/brivostel-setup.exe
WINE_LIB=/usr/lib/wine
TITLE='远帆'
export WINEDEBUG=-all

cache_value() { sed -n "s/^$1:[A-Z]*=//p" "$BUILD/CMakeCache.txt"; }
ENDPOINT=$(cache_value INSTALLER_OSS_ENDPOINT)
BUCKET=$(cache_value INSTALLER_OSS_BUCKET)
ACCOUNT=$(cache_value INSTALLER_OSS_ACCESS_KEY_ID):$(cache_value INSTALLER_OSS_ACCESS_KEY_SECRET)
HOST=${ENDPOINT%:*} PORT=${ENDPOINT##*:}
# The endpoint is compiled in, so every run on this machine (the layer's e2e tests too, from any
# checkout) uses one port: one case at a time, machine-wide.
exec 9>"/tmp/installer-e2e-$ENDPOINT.lock"
flock -w 500 9 || { echo "FAIL: $ENDPOINT stayed in use by other runs for 500 s" >&2; exit 1; }

WORK=$(mktemp -d "${TMPDIR:-/tmp}/wine-e2e.XXXXXX")
export WINEPREFIX=$WORK/prefix
BUCKET_PID="" PROGRAM_PID="" FAILURES=0 SHOTS=$WORK/shots RECORD=$WORK/client-started.txt
cleanup() {
    [ -n "$PROGRAM_PID" ] && kill "$PROGRAM_PID" 2>/dev/null
    # What a failed case leaves to look at: the photographs, the program's output and log, and
    # the registry as Wine wrote it.
    if [ "$FAILURES" != 0 ] && [ -n "${PICTURES:-}" ]; then
        local keep=$PICTURES/$LANGUAGE/failed
        mkdir -p "$keep"
        cp "$SHOTS"/*.png "$WORK/installer.out" "$RECORD" "$keep/" 2>/dev/null
        find "$WINEPREFIX/drive_c/users" -name install.log -exec cp {} "$keep/" \; 2>/dev/null
        "$WINE_LIB/wineserver" -k 2>/dev/null
        cp "$WINEPREFIX"/*.reg "$keep/" 2>/dev/null
        find "$WINEPREFIX/drive_c/users/Public/Desktop" -name '*.lnk' -exec cp {} "$keep/" \; 2>/dev/null
        (cd "$WINEPREFIX/drive_c/users" && find . -path '*BRivostel*' | sort) >"$keep/files.txt" 2>/dev/null
        echo "what the failed case left: $keep" >&2
    fi
    "$SOURCE/tests/windows/wine-prefix" stop "$WINEPREFIX"
    [ -n "$BUCKET_PID" ] && kill "$BUCKET_PID" 2>/dev/null && wait "$BUCKET_PID" 2>/dev/null
    rm -rf "$WORK"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; FAILURES=$((FAILURES + 1)); }
expect_eq() { [ "$2" = "$3" ] || fail "$1: expected [$3], got [$2]"; }
expect_file() { [ -e "$1" ] || fail "missing: $1"; }
expect_no_file() { [ ! -e "$1" ] || fail "should not exist: $1"; }
say() { printf '==> %s\n' "$*" >&2; }
# expect_pixels PICTURE "X,Y=RRGGBB ..."
expect_pixels() {
    local picture=$1 points=() wanted=() got
    for pair in $2; do
        points+=("${pair%=*}")
        wanted+=("${pair#*=}")
    done
    mapfile -t got < <(python3 "$SOURCE/tests/core/png_pixels.py" "$picture" "${points[@]}")
    for i in "${!points[@]}"; do
        expect_eq "$(basename "$picture") at ${points[$i]}" "${got[$i]:-none}" "${wanted[$i]}"
    done
}
win_path() { local p=$1; printf 'Z:%s' "${p//\//\\}"; }
reg_query() { "$WINE_LIB/wine64" reg query "$@" 2>/dev/null | tr -d '\r'; }

# The prefix, the sample release with the Windows sample client, and the bucket.
"$SOURCE/tests/windows/wine-prefix" clone "$TEMPLATE" "$WINEPREFIX" || exit 1
RELEASE_ROOT=$WORK/bucket
python3 "$SOURCE/tools/make-sample-release" --client "$BUILD/tools/sample_client.exe" \
    --out "$RELEASE_ROOT" --bucket "$BUCKET" >/dev/null || exit 1
python3 "$SOURCE/tools/local-bucket" --root "$RELEASE_ROOT" --bucket "$BUCKET" --account "$ACCOUNT" \
    --host "$HOST" --port "$PORT" --port-file "$WORK/bucket.port" --watch-pid $$ --quiet \
    >/dev/null 2>"$WORK/bucket.log" 9>&- &
BUCKET_PID=$!
until [ -s "$WORK/bucket.port" ]; do
    kill -0 "$BUCKET_PID" 2>/dev/null || { cat "$WORK/bucket.log" >&2; echo "FAIL: no bucket" >&2; exit 1; }
    sleep 0.05
done
faults() {  # JSON rules for the bucket
    python3 - "$HOST" "$PORT" "$1" <<'PY'
import http.client, sys
c = http.client.HTTPConnection(sys.argv[1], int(sys.argv[2]), timeout=5)
c.request("POST", "/_local/faults", sys.argv[3])
assert c.getresponse().status == 200
PY
}
# Keep the installing state on screen long enough to photograph on a loaded machine: the
# configuration package answers 4 s late (the client gives up on a silent answer after 10 s).
faults '[{"method": "GET", "key": "9.5BRivostelIE/config.zip", "delay_ms": 4000}]'

USERS=$WINEPREFIX/drive_c/users
INSTALL=$USERS/$(id -un)/AppData/Local/BRivostel471203v9.5
mkdir -p "$SHOTS"

# The waits below are upper bounds sized for a loaded 2-core machine; a passing run meets none.
shot() {  # NAME X,Y=RRGGBB: photographs the window once that pixel shows the state
    "$XSHOT" --window "$WID" --wait-pixel "$2" --timeout 90 "$SHOTS/$1.png" ||
        fail "the $1 state did not show (pixel $2)"
}
click() { xdotool mousemove --sync $((X + $1)) $((Y + $2)) click 1; }
away() { xdotool mousemove --sync 5 5; }

# run_installer finished|failed: starts the program, presses Install, photographs each state,
# presses Open (or the cross after a failure) and waits for the program's end.
run_installer() {
    local ending=$1
    timeout 5 xdotool mousemove --sync 5 5 || true
    # The machine is a Chinese Windows (ANSI code page 936, from LC_CTYPE) whose display language
    # is LANGUAGE (from LC_MESSAGES).
    env -u LC_ALL LANG="$LANGUAGE.UTF-8" LC_MESSAGES="$LANGUAGE.UTF-8" LC_CTYPE=zh_CN.UTF-8 \
        BRIVOSTEL_CLIENT_RECORD="$(win_path "$RECORD")" \
        "$WINE_LIB/wine64" "$PROGRAM" >"$WORK/installer.out" 2>&1 9>&- &
    PROGRAM_PID=$!
    # The first start in a new prefix is the slow one.
    # Wine also makes a hidden 1 x 1 window with the title; the dialog is the visible one.
    WID=$(timeout 120 xdotool search --sync --onlyvisible --name "^$TITLE\$" | head -n 1)
    if [ -z "$WID" ]; then
        fail "the window did not appear"
        sed 's/^/  | /' "$WORK/installer.out" >&2
        return
    fi
    local X Y WIDTH HEIGHT SCREEN WINDOW
    eval "$(xdotool getwindowgeometry --shell "$WID")"
    expect_eq "window size" "${WIDTH}x$HEIGHT" 500x310
    shot 1-idle 205,220=A51510
    click 250 220
    away
    shot 2-installing 147,267=FC7373
    if [ "$ending" = failed ]; then
        shot 3-failed 484,8=E7E7E7
        click 488 12
    else
        shot 3-finished 205,220=A51510
        click 250 220
        away
        local client
        client=$(timeout 90 xdotool search --sync --onlyvisible --name '^brivostel v9\.5' | head -n 1)
        [ -n "$client" ] || fail "the started client's window did not show"
        [ -n "$client" ] && "$XSHOT" --window "$client" --wait-pixel 2,2=FFFFFF --timeout 60 \
            "$SHOTS/4-client.png"
    fi
    local rc=0 waited=0
    # The program ends with 0 whatever happened.
    while kill -0 "$PROGRAM_PID" 2>/dev/null && [ $waited -lt 900 ]; do
        sleep 0.1
        waited=$((waited + 1))
    done
    if kill -0 "$PROGRAM_PID" 2>/dev/null; then
        fail "the program did not end within 90 s"
        kill "$PROGRAM_PID" 2>/dev/null
    fi
    wait "$PROGRAM_PID" || rc=$?
    PROGRAM_PID=""
    expect_eq "exit code" "$rc" 0
    if [ -n "${PICTURES:-}" ]; then
        mkdir -p "$PICTURES/$LANGUAGE"
        cp "$SHOTS"/*.png "$PICTURES/$LANGUAGE/"
    fi
}

# The files of the sample release, package by package in the worker's order, as the
# installation folder must hold them (the two configuration files get their keys added).
check_release_files() {
    local reference=$WORK/reference release=$RELEASE_ROOT/$BUCKET/9.5BRivostelIE zip
    mkdir -p "$reference"
    # This broker's packages: the release also holds the other broker's.
    for zip in "$release/base.zip" "$release/fix/9.5.7.2.zip" "$release/config.zip" \
        "$release/quant/9.5.1.3.zip"; do
        [ -f "$zip" ] && unzip -qo "$zip" -d "$reference"
    done
    local file count=0
    while IFS= read -r -d '' file; do
        # The packages name their files in code page 936; Wine keeps names as UTF-8 on disk.
        local relative
        relative=$(printf '%s' "${file#"$reference"/}" | iconv -f GBK -t UTF-8)
        case $relative in config/brivostel.Default.pub | config/brivostel.Default.pri) continue ;; esac
        count=$((count + 1))
        cmp -s "$file" "$INSTALL/$relative" || fail "installed file differs from the release: $relative"
    done < <(find "$reference" -type f -print0)
    [ $count -gt 10 ] || fail "only $count files in the release"
}

case_install() {
    local language_id
    case $LANGUAGE in zh_CN) language_id=2052 ;; zh_TW) language_id=1028 ;; *) language_id=1033 ;; esac
    run_installer finished
    check_release_files
    expect_file "$INSTALL/log/install.log"
    expect_no_file "${INSTALL}temp"
    expect_no_file "${INSTALL}old"
    grep -q '^cur=9.5.7.2' "$INSTALL/update.ini" || fail "update.ini lacks cur=9.5.7.2"
    grep -q '^package=471203' "$INSTALL/config/brivostel.Default.pub" || fail "no package key"
    grep -q "^language=$language_id" "$INSTALL/config/brivostel.Default.pri" ||
        fail "no language=$language_id key"
    # The log is code page 936 text, the same in every language of the window.
    iconv -f GBK -t UTF-8 "$INSTALL/log/install.log" >"$WORK/log.txt" || fail "the log is not GBK"
    grep -q 'URL Schemes: Start' "$WORK/log.txt" || fail "the log lacks the registration"
    # The registry, read back through Wine.
    local entry='HKLM\SOFTWARE\Wow6432Node\Microsoft\Windows\CurrentVersion\Uninstall\Brivostel_471203v9.5'
    # (Outputs are taken whole before grep, which under pipefail would fail a writer it stops early.)
    grep -q 'REG_SZ *9.5.7.2' <<<"$(reg_query "$entry" /v DisplayVersion)" || fail "no uninstall entry"
    grep -qi 'BRivostel471203v9.5\\uninstall.exe' <<<"$(reg_query "$entry" /v UninstallString)" ||
        fail "no UninstallString"
    grep -q 'URL Protocol' <<<"$(reg_query 'HKCR\BRivostel471203' /v 'URL Protocol')" ||
        fail "no URL protocol"
    grep -qi 'brivostel v9.5.exe' <<<"$(reg_query 'HKCR\BRivostel471203\shell\open\command' /ve)" ||
        fail "no open command"
    # The shortcut on the public desktop.
    local link
    link=$(find "$USERS/Public/Desktop" -name '*.lnk' | head -n 1)
    if [ -z "$link" ]; then
        fail "no shortcut on the public desktop"
    else
        grep -qi 'Local path.*brivostel v9.5.exe' <<<"$(lnkinfo "$link" 2>/dev/null)" ||
            fail "the shortcut names no client"
    fi
    # The client, started from its folder with "end".
    grep -qi '^image=.*BRivostel471203v9.5\\brivostel v9.5.exe' "$RECORD" || fail "the client did not start"
    grep -qi '^cwd=.*BRivostel471203v9.5$' "$RECORD" || fail "the client's folder is not its own"
    grep -q '^argv\[1\]=end' "$RECORD" || fail "the client was not given \"end\""
    # The photographs: the cross and the button in Idle and Finished, the bar at 26 %.
    local cross="484,8=E7E7E7 488,12=E7E7E7 492,16=E7E7E7 484,16=E7E7E7 492,8=E7E7E7"
    local button="250,202=D94041 200,220=D94041 299,220=D94041 205,220=A51510 295,230=A51510"
    expect_pixels "$SHOTS/1-idle.png" "$cross $button"
    expect_pixels "$SHOTS/3-finished.png" "$cross $button"
    expect_pixels "$SHOTS/2-installing.png" \
        "34,267=E2E2E2 467,267=E2E2E2 37,267=FC7373 147,267=FC7373 148,267=FFFFFF 464,267=FFFFFF"
}

case_failure() {
    # The runtime package's requests answer 500, every retry included.
    faults '[{"key": "9.5BRivostelIE/fix/9.5.7.2.zip", "status": 500, "times": -1}]'
    run_installer failed
    expect_no_file "$INSTALL"
    expect_no_file "${INSTALL}temp"
    expect_no_file "$RECORD"
    expect_pixels "$SHOTS/3-failed.png" "484,8=E7E7E7 492,16=E7E7E7 37,267=FC7373"
}

case $CASE in
    install) case_install ;;
    failure) case_failure ;;
    *) echo "unknown case $CASE" >&2; exit 2 ;;
esac
[ $FAILURES = 0 ] && echo "PASS: $CASE $LANGUAGE"
[ $FAILURES = 0 ]

#!/usr/bin/env bash
# End-to-end tests of the installer program: the real binary on a virtual X display of its own,
# clicked through with xdotool by tools/demo.sh against the local bucket on the build's endpoint,
# then checked on disk, in the registry hives and in the photographs.
#
#   installer_e2e_test.sh SOURCE BUILD install|failure|search-path|reinstall|failed-move
set -uo pipefail

SOURCE=$1 BUILD=$2 CASE=$3
# The endpoint is compiled in, so every run on this machine, from any checkout, uses one port:
# one case at a time, machine-wide.
ENDPOINT=$(sed -n 's/^INSTALLER_OSS_ENDPOINT:[A-Z]*=//p' "$BUILD/CMakeCache.txt")
exec 9>"/tmp/installer-e2e-$ENDPOINT.lock"
flock -w 500 9 || { echo "FAIL: $ENDPOINT stayed in use by other runs for 500 s" >&2; exit 1; }
WORK=$(mktemp -d "${TMPDIR:-/tmp}/installer-e2e.XXXXXX")
trap 'rm -rf "$WORK"' EXIT
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

case $CASE in
    install) case_install ;;
    failure) case_failure ;;
    search-path) case_search_path ;;
    reinstall) case_reinstall ;;
    failed-move) case_failed_move ;;
    *) echo "unknown case $CASE" >&2; exit 2 ;;
esac
[ $FAILURES = 0 ] && echo "PASS: $CASE"
[ $FAILURES = 0 ]

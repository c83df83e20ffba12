#!/usr/bin/env bash
# Checks tools/xvfb-session and tools/xshot: sessions started together get displays of their own,
# the command's status comes back, the server is gone afterwards (also when the session is
# signalled), and xshot waits for a pixel and says when it never comes.
#   xvfb_session_test.sh XVFB_SESSION XSHOT
set -u
session=$1
xshot=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

# Each session reports its display and server pid, then exits with its own status.
for i in 1 2 3; do
    "$session" sh -c 'echo "$DISPLAY $XVFB_SESSION_PID" >"$0"; exit "$1"' "$work/s$i" "$((10 + i))" &
    pids[$i]=$!
done
for i in 1 2 3; do
    wait "${pids[$i]}"
    rc=$?
    [ "$rc" -eq $((10 + i)) ] || fail "session $i exited $rc, not $((10 + i))"
done
displays=$(cut -d' ' -f1 "$work"/s? | sort -u | wc -l)
[ "$displays" -eq 3 ] || fail "three parallel sessions shared displays: $(cat "$work"/s?)"
for f in "$work"/s?; do
    read -r display pid <"$f"
    kill -0 "$pid" 2>/dev/null && fail "Xvfb $pid of $display still runs after its session"
done

# A signalled session stops its command and its server.
mkfifo "$work/started"
"$session" sh -c 'echo "$XVFB_SESSION_PID" >"$0"; exec sleep 60' "$work/started" &
spid=$!
read -r -t 30 server <"$work/started"
kill -TERM "$spid"
wait "$spid"
rc=$?
[ "$rc" -ne 0 ] || fail "a signalled session exited 0"
kill -0 "$server" 2>/dev/null && fail "Xvfb still runs after its session was signalled"

# The root of a fresh server is black: xshot saves it at once, and gives up on another colour.
"$session" "$xshot" --wait-pixel 10,10=000000 --timeout 5 "$work/root.png" ||
    fail "xshot did not see the black root"
[ "$(head -c 8 "$work/root.png" | od -An -tx1 | tr -d ' ')" = 89504e470d0a1a0a ] ||
    fail "xshot wrote no PNG"
"$session" "$xshot" --wait-pixel 10,10=FF0000 --timeout 0.2 "$work/red.png" 2>/dev/null
rc=$?
[ "$rc" -eq 1 ] || fail "xshot waiting for a colour that never comes exited $rc, not 1"
[ -s "$work/red.png" ] || fail "xshot kept no picture after the time limit"

[ "$failures" -eq 0 ] && echo "all passed"
exit $((failures > 0))

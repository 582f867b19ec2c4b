#!/bin/bash
# The display the game shows its frames on goes away (the X server ends, as it does when
# the desktop session closes): the game ends with it, with status 5, without a crash dump
# and without asking the crash question.
#
#   display_lost_check.sh <quillo>
set -u
quillo=$1

label="display lost"
source "$(dirname "$0")/xvfb_session.sh"
start_xvfb 1024x768x24
start_game "$quillo"

window=$(timeout 60 xdotool search --sync --name "^Quillo Tovra$" 2>/dev/null | head -n 1)
[ -n "$window" ] || fail "no game window appeared"
# Long enough for frames to be shown in the window.
sleep 3
kill -0 "$game" 2>/dev/null || fail "the game ended before its display went"

kill -TERM "$xvfb" 2>/dev/null
wait "$xvfb" 2>/dev/null
xvfb=
for _ in $(seq 150); do
  kill -0 "$game" 2>/dev/null || break
  sleep 0.2
done
kill -0 "$game" 2>/dev/null && fail "the game kept running after its display went"
wait "$game"
status=$?
game=
[ "$status" = 5 ] || fail "the game ended with status $status, not the display-lost status 5"
dumps=$(find "$work/data" -name 'minidump-*' 2>/dev/null)
[ -z "$dumps" ] || fail "the game wrote a crash dump when its display went: $(head -n 12 $dumps | tr '\n' ' ')"
grep -q "terminate called" "$work/out" && fail "the game ended through std::terminate"
echo "display lost: the game ended with status $status, no crash dump"

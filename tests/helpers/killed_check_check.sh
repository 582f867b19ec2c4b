#!/bin/bash
# A virtual-display check killed outright (as ctest does on a timeout: no trap runs) leaves
# nothing behind: its game and its X server end with it.
#
#   killed_check_check.sh <check script> <its arguments...>
set -u
check=$1
shift

bash "$check" "$@" >/dev/null 2>&1 &
shell=$!
game=
for _ in $(seq 300); do
  game=$(pgrep -P "$shell" -x quillo | head -n 1)
  [ -n "$game" ] && break
  sleep 0.1
done
[ -n "$game" ] || { kill -KILL "$shell"; echo "killed check: the check started no game" >&2; exit 1; }
server=$(pgrep -P "$shell" -x Xvfb | head -n 1)
sleep 2
kill -KILL "$shell"
wait "$shell" 2>/dev/null

left=
for _ in $(seq 100); do
  left=
  for pid in $game $server; do
    kill -0 "$pid" 2>/dev/null && left="$left $pid"
  done
  [ -z "$left" ] && break
  sleep 0.1
done
if [ -n "$left" ]; then
  kill -KILL $left 2>/dev/null
  echo "killed check: still running after the check was killed:$left" >&2
  exit 1
fi
echo "killed check: the game ($game) and the server (${server:-none}) ended with the check"

#!/bin/bash
# The one-copy lock belongs to a save folder: with the game running in a window, a second
# start over the same per-user folder brings the first to the front and ends at once with
# status 0, while a start over another folder (its own XDG_DATA_HOME) runs beside it.
#
#   one_copy_check.sh <quillo>
set -u
quillo=$1

label="one copy"
source "$(dirname "$0")/xvfb_session.sh"
start_xvfb 800x600x24
start_game "$quillo"
first=$game

window=$(timeout 60 xdotool search --sync --name "^Quillo Tovra$" 2>/dev/null | head -n 1)
[ -n "$window" ] || fail "no game window appeared"

# Over the same folder: a second copy, which only waves at the first.
HOME="$work/home" XDG_DATA_HOME="$work/data" timeout 60 "$quillo" >"$work/second" 2>&1
status=$?
[ "$status" = 0 ] || fail "a second start over the same folder ended with status $status: $(tail -n 5 "$work/second")"
kill -0 "$first" 2>/dev/null || fail "the first copy ended when the second started"
[ "$(xdotool search --name "^Quillo Tovra$" 2>/dev/null | wc -l)" = 1 ] || fail "the second start over the same folder opened a window"

# Over another folder: a copy of its own.
mkdir -p "$work/other"
HOME="$work/home" XDG_DATA_HOME="$work/other" "${tied[@]}" "$quillo" >"$work/third" 2>&1 &
third=$!
for _ in $(seq 300); do
  [ "$(xdotool search --name "^Quillo Tovra$" 2>/dev/null | wc -l)" = 2 ] && break
  kill -0 "$third" 2>/dev/null || break
  sleep 0.2
done
windows=$(xdotool search --name "^Quillo Tovra$" 2>/dev/null | wc -l)
if kill -0 "$third" 2>/dev/null; then
  kill -KILL "$third"
  wait "$third" 2>/dev/null
  ended="still running"
else
  wait "$third"
  ended="ended with status $?"
fi
[ "$windows" = 2 ] ||
  fail "a start over another save folder did not run beside the first ($windows windows, the start $ended): $(tail -n 5 "$work/third")"
echo "one copy: a second start over the same folder raised the first and ended; one over another folder ran beside it"

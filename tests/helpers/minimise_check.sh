#!/bin/bash
# The game in full screen on a (virtual) display, as a player who switches away meets it:
# losing the focus minimises the window; while it stays minimised the game says so once in
# its log at most once (once when a frame was asked of it), the log stops growing and the
# process stays nearly idle; the focus back brings
# the picture back, moving again (screenshot kept). A display without a window manager
# ignores the minimise itself, so the window never really leaves the screen: the focus is
# what tells the game it is back.
#
#   minimise_check.sh <quillo> <x_screenshot> <restored.png>
set -u
quillo=$1
screenshot=$2
picture=$3

label="minimise"
source "$(dirname "$0")/xvfb_session.sh"
start_xvfb 1024x768x24
export SDL_AUDIODRIVER=dummy
start_game "$quillo"

# The game's window once it is shown (the first one made at start-up may go again).
find_window() {
  for _ in $(seq 120); do
    kill -0 "$game" 2>/dev/null || fail "the game ended"
    window=$(xdotool search --onlyvisible --name "^Quillo Tovra$" 2>/dev/null | tail -n 1)
    [ -n "$window" ] && xdotool getwindowgeometry "$window" >/dev/null 2>&1 && return 0
    sleep 0.5
  done
  fail "no game window appeared"
}
find_window
sleep 4
find_window
root=$(xdotool search --maxdepth 0 --name "" 2>/dev/null | head -n 1)
[ -n "$root" ] || fail "the root window was not found"

line="Cannot render in minimized mode"
# Seconds of processor time the game has used so far.
cpu() { awk -v hz="$(getconf CLK_TCK)" '{ printf "%.2f", ($14 + $15) / hz }' "/proc/$game/stat"; }
# Screenshots a second apart differ: the game draws and its picture moves. The pointer is
# moved in between (the game draws its own cursor), so that a screen that happens to stand
# still, a logo held or a menu, still shows whether frames are drawn; a few tries.
moving() {
  local tries=${1:-5} x
  for ((try = 0; try < tries; ++try)); do
    "$screenshot" "$work/a.png" || fail "no screenshot"
    x=$((200 + 60 * try))
    xdotool mousemove "$x" 300
    sleep 1
    "$screenshot" "$work/b.png" || fail "no screenshot"
    cmp -s "$work/a.png" "$work/b.png" || return 0
  done
  return 1
}

moving || fail "the picture does not move before the focus goes"

# Away: the focus goes to the desktop.
xdotool windowfocus "$root"
sleep 2
size_before=$(stat -c %s "$work/out")
cpu_before=$(cpu)
sleep 3
size_after=$(stat -c %s "$work/out")
cpu_after=$(cpu)
kill -0 "$game" 2>/dev/null || fail "the game ended while minimised"
spent=$(awk -v a="$cpu_after" -v b="$cpu_before" 'BEGIN { printf "%.2f", a - b }')
grown=$((size_after - size_before))
count=$(grep -c "$line" "$work/out")
[ "$count" -le 1 ] || fail "\"$line\" written $count times"
[ "$grown" -lt 4096 ] || fail "the log grew by $grown bytes in 3 s while minimised"
awk -v s="$spent" 'BEGIN { exit !(s < 1.0) }' || fail "$spent s of processor time in 3 s while minimised"
moving 2 && fail "the picture moves while minimised"

# Back: the focus returns to the game.
xdotool windowfocus "$window"
sleep 2
moving || fail "the picture does not move again once the focus is back"
cp "$work/b.png" "$picture"
[ "$(grep -c "$line" "$work/out")" = "$count" ] || fail "\"$line\" written again after the restore"
echo "minimise: \"$line\" written $count time(s), $spent s of processor time and $grown bytes of log in 3 s minimised; restored and moving again; screenshot in $picture"

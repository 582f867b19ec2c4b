#!/bin/bash
# The game on a 1280x800 desktop run by a window manager (openbox), played as a person
# does: it starts in full screen; the close (Alt+F4) asks the quit question in front of it,
# with the focus, and "No" (Escape) keeps it; the Screen button gives a window and back
# full screen, which covers the desktop exactly however often it is toggled (the picture
# reaches the bottom row); the same question in the window; the desktop minimises it,
# where it stays, quiet and nearly idle, and the desktop's restore brings the picture back
# at once, moving, with no click. Every finding is reported, then the check fails if any.
#
#   window_manager_check.sh <quillo> <x_screenshot> <pictures folder>
set -u
quillo=$1
screenshot=$2
pictures=$3

label="window manager"
source "$(dirname "$0")/xvfb_session.sh"
start_xvfb 1280x800x24
export SDL_AUDIODRIVER=dummy
mkdir -p "$pictures"

# The window manager, with a home of its own: no user's configuration.
HOME="$work/home" "${tied[@]}" openbox --sm-disable >"$work/openbox.log" 2>&1 &
for _ in $(seq 300); do
  xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id" && break
  sleep 0.1
done
xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id" ||
  fail "openbox did not start: $(tail -n 5 "$work/openbox.log" 2>/dev/null)"

problems=0
problem() {
  echo "$label: $*" >&2
  problems=$((problems + 1))
}

start_game "$quillo"
window=
for _ in $(seq 120); do
  kill -0 "$game" 2>/dev/null || fail "the game ended"
  window=$(xdotool search --onlyvisible --name "^Quillo Tovra$" 2>/dev/null | tail -n 1)
  [ -n "$window" ] && break
  sleep 0.5
done
[ -n "$window" ] || fail "no game window appeared"
window=$((window))

# "x y width height" of the game's window on the screen.
geometry() {
  xwininfo -id "$window" 2>/dev/null | awk '
    /Absolute upper-left X/ { x = $NF } /Absolute upper-left Y/ { y = $NF }
    /Width:/ { w = $NF } /Height:/ { h = $NF } END { print x, y, w, h }'
}
# The managed windows, lowest first, as decimal ids.
stacking() {
  xprop -root _NET_CLIENT_LIST_STACKING | sed 's/.*#//; s/,/ /g' | xargs -n 1 printf '%d\n' 2>/dev/null
}
active() { printf '%d' "$(xprop -root _NET_ACTIVE_WINDOW | sed 's/.*# //; s/,.*//')"; }
wm_state() { xprop -id "$window" WM_STATE 2>/dev/null | awk '/window state/ { print $NF }'; }
# Seconds of processor time the game has used so far.
cpu() { awk -v hz="$(getconf CLK_TCK)" '{ printf "%.2f", ($14 + $15) / hz }' "/proc/$game/stat"; }
# Screenshots a second apart differ (the game draws its own cursor, which is moved in
# between): frames are being drawn. A few tries.
moving() {
  local try
  for try in 1 2 3 4 5; do
    "$screenshot" "$work/a.png" || fail "no screenshot"
    xdotool mousemove $((300 + 60 * try)) 400
    sleep 1
    "$screenshot" "$work/b.png" || fail "no screenshot"
    cmp -s "$work/a.png" "$work/b.png" || return 0
  done
  return 1
}
# Full screen as the desktop shows it: the window over the whole desktop and (unless told
# "no picture": the splash fades in from black) the picture down to its last rows, no
# black band.
check_full_screen() {
  local where=$1 at
  at=$(geometry)
  [ "$at" = "0 0 1280 800" ] ||
    problem "$where: the full-screen window is at $at, not 0 0 1280 800 ($(xprop -id "$window" _NET_WM_STATE))"
  [ "${2:-}" = "no picture" ] && return
  local bottom
  bottom=$("$screenshot" --mean 0 780 1280 20)
  [ "${bottom:-0}" -gt 20 ] || problem "$where: the bottom rows of the screen are black (mean $bottom)"
}
# The quit question, asked by the desktop's close: a window of its own, which belongs to
# the game's, stands above it and has the focus. "No" (Escape, to the focused box) keeps
# the game.
question() {
  local where=$1 box= candidate
  xdotool key --clearmodifiers alt+F4
  for _ in $(seq 50); do
    for candidate in $(stacking); do
      [ "$candidate" = "$window" ] || box=$candidate
    done
    [ -n "$box" ] && break
    sleep 0.2
  done
  if [ -z "$box" ]; then
    problem "$where: no quit question appeared"
    return
  fi
  sleep 1
  "$screenshot" "$pictures/question_$where.png" || fail "no screenshot"
  local owner
  owner=$(xprop -id "$box" WM_TRANSIENT_FOR 2>/dev/null | sed -n 's/.*# //p')
  [ -n "$owner" ] && [ "$((owner))" = "$window" ] ||
    problem "$where: the question does not belong to the game's window (WM_TRANSIENT_FOR: ${owner:-none})"
  local order
  order=$(stacking | tr '\n' ' ')
  [ "$(stacking | tail -n 1)" = "$box" ] || problem "$where: the question is not in front of the game (stack, lowest first: $order)"
  [ "$(active)" = "$box" ] || problem "$where: the question has not the focus (active: $(active))"
  xdotool key Escape
  for _ in $(seq 25); do
    xwininfo -id "$box" >/dev/null 2>&1 || break
    sleep 0.2
  done
  xwininfo -id "$box" >/dev/null 2>&1 && xdotool windowactivate "$box" key Escape 2>/dev/null
  sleep 1
  kill -0 "$game" 2>/dev/null || fail "$where: \"No\" ended the game"
  # The game is back as it was, with the focus: not minimised by the box's going.
  [ "$(wm_state)" = Normal ] || problem "$where: after \"No\" the game's window is $(wm_state)"
  [ "$(active)" = "$window" ] || problem "$where: after \"No\" the focus is not back on the game (active: $(active))"
}
# The Screen button of the main menu (top right), wherever the window is.
click_screen_button() {
  local x y w h
  read -r x y w h <<<"$(geometry)"
  xdotool mousemove $((x + 1102 * w / 1280)) $((y + 62 * h / 800)) click 1
}

sleep 2
check_full_screen start "no picture"
question full_screen

# A first start asks the player's name: OK, then Back from the players' list, then the
# Screen button, until the menu answers (loading may take a while).
for _ in $(seq 20); do
  xdotool mousemove 577 523 click 1
  sleep 1
  xdotool mousemove 726 557 click 1
  sleep 1
  click_screen_button
  sleep 1.5
  [ "$(geometry)" != "0 0 1280 800" ] && break
done
read -r _ _ w h <<<"$(geometry)"
[ "$w" = 960 ] && [ "$h" = 640 ] || fail "the Screen button gave no 960x640 window ($(geometry))"
"$screenshot" "$pictures/window.png" || fail "no screenshot"
question window

for turn in 1 2 3; do
  click_screen_button
  sleep 2
  check_full_screen "full_screen_$turn"
  [ "$turn" = 3 ] && break
  click_screen_button
  sleep 2
  read -r _ _ w h <<<"$(geometry)"
  [ "$w" = 960 ] && [ "$h" = 640 ] || problem "turn $turn: back to a window, it is $(geometry)"
done
"$screenshot" "$pictures/full_screen_again.png" || fail "no screenshot"

# The desktop minimises the full-screen game.
line="Cannot render in minimized mode"
xdotool windowminimize "$window"
sleep 2
count_before=$(grep -c "$line" "$work/out")
cpu_before=$(cpu)
states=""
for _ in $(seq 10); do
  states+="$(wm_state) "
  sleep 0.3
done
cpu_after=$(cpu)
spent=$(awk -v a="$cpu_after" -v b="$cpu_before" 'BEGIN { printf "%.2f", a - b }')
kill -0 "$game" 2>/dev/null || fail "the game ended while minimised"
[ "$(echo $states | tr ' ' '\n' | sort -u | tr '\n' ' ')" = "Iconic " ] ||
  problem "minimised: the window does not stay iconic (states every 0.3 s: $states)"
awk -v s="$spent" 'BEGIN { exit !(s < 0.3) }' || problem "minimised: $spent s of processor time in 3 s"
count=$(grep -c "$line" "$work/out")
[ "$count" -le 1 ] || problem "minimised: \"$line\" written $count times ($count_before after the first 2 s)"

# The desktop's restore (as a task bar does): the picture is back at once, no click.
xdotool windowactivate "$window" 2>/dev/null
sleep 1
[ "$(wm_state)" = Normal ] || problem "restored: the window is still $(wm_state)"
moving || problem "restored: the picture does not move"
cp "$work/b.png" "$pictures/restored.png"
check_full_screen restored

[ "$problems" = 0 ] || fail "$problems finding(s)"
echo "window manager: questions owned, in front and focused; full screen at 0 0 1280 800 after 3 toggles; minimised iconic with $spent s of processor time in 3 s and \"$line\" written $count time(s); restored and moving; screenshots in $pictures"

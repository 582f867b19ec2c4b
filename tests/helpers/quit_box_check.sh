#!/bin/bash
# The game on a (virtual) display, as a player meets it: the splash shows (screenshot
# kept), a close request brings up the quit question over it (screenshot kept); "No"
# keeps the game running, "Yes" ends it with status 0 and the settings written into the
# one per-user folder.
#
#   quit_box_check.sh <quillo> <x_screenshot> <x_close_request> <splash.png> <question.png>
set -u
quillo=$1
screenshot=$2
close_request=$3
splash_picture=$4
question_picture=$5

label="quit box"
source "$(dirname "$0")/xvfb_session.sh"
start_xvfb 1024x768x24
start_game "$quillo"

window=$(timeout 60 xdotool search --sync --name "^Quillo Tovra$" 2>/dev/null | head -n 1)
[ -n "$window" ] || fail "no game window appeared"
sleep 4
"$screenshot" "$splash_picture" || fail "no screenshot of the splash"

# The box: the one window of the dialog's width that is not the game's.
find_box() {
  for _ in $(seq 100); do
    for candidate in $(xdotool search --name "" 2>/dev/null); do
      [ "$candidate" = "$window" ] && continue
      eval "$(xdotool getwindowgeometry --shell "$candidate" 2>/dev/null)"
      if [ "${WIDTH:-0}" -gt 0 ] && [ "${WIDTH:-0}" -lt 1024 ]; then
        box=$candidate
        return 0
      fi
    done
    sleep 0.2
  done
  return 1
}
# A close request, as the desktop sends one when the player closes the window.
ask() {
  kill -0 "$game" 2>/dev/null || fail "the game is not running"
  "$close_request" "$window" || fail "the close request could not be sent"
  find_box || fail "no quit question appeared"
  sleep 1
}
# The box's buttons where SDL lays them out: a row 44 px down when it draws with the X
# core fonts, or centred near the bottom (Yes left of the middle, No right of it) when it
# draws with Xft. The first place that takes the box away is the button.
answer() {
  eval "$(xdotool getwindowgeometry --shell "$box")"
  local x=$X y=$Y w=$WIDTH h=$HEIGHT
  local centred=$(( $1 == 57 ? w / 2 - 54 : w / 2 + 52 ))
  for place in "$(( x + $1 )) $(( y + 44 ))" "$(( x + centred )) $(( y + h - 42 ))"; do
    xdotool mousemove $place click 1
    sleep 1
    xdotool getwindowname "$box" >/dev/null 2>&1 || return 0
  done
}

ask
"$screenshot" "$question_picture" || fail "no screenshot of the question"
answer 165   # No
sleep 2
kill -0 "$game" 2>/dev/null || fail "\"No\" ended the game"

ask
answer 57    # Yes
for _ in $(seq 100); do
  kill -0 "$game" 2>/dev/null || break
  sleep 0.2
done
kill -0 "$game" 2>/dev/null && fail "\"Yes\" did not end the game"
wait "$game"
status=$?
game=
[ "$status" = 0 ] || fail "the game ended with status $status"
[ -f "$work/data/Kembra Entertainment/Quillo Tovra/settings.dat" ] || fail "no settings.dat in the per-user folder"
echo "quit box: splash and question shown, \"No\" kept the game, \"Yes\" ended it; screenshots in $splash_picture and $question_picture"

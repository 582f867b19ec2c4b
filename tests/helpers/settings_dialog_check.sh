#!/bin/bash
# The video-mode dialog on a (virtual) display, as a user meets it: `quillo settings`
# shows it, a screenshot is kept for review, the "Full screen" list is set to window
# mode and the OK button ("Play") pressed with real pointer clicks, and the choice must
# land in videosettings.ini under the user's data folder.
#
#   settings_dialog_check.sh <quillo> <x_screenshot> <screenshot.png>
set -u
quillo=$1
screenshot=$2
picture=$3

label="settings dialog"
source "$(dirname "$0")/xvfb_session.sh"
start_xvfb 800x600x24
start_game "$quillo" settings

window=$(timeout 60 xdotool search --sync --name "video mode" 2>/dev/null | head -n 1)
[ -n "$window" ] || fail "no dialog window appeared"
sleep 1
"$screenshot" "$picture" || fail "no screenshot"

eval "$(xdotool getwindowgeometry --shell "$window")"
click() {
  xdotool mousemove $((X + $1)) $((Y + $2)) click 1
  sleep 0.5
}
# Rows are 23 pixels apart from y 17; the lists start at x 190; the buttons follow the
# five rows and a separator.
click 330 40   # open "Full screen"
click 330 64   # its first entry: "No (Window mode)"
click 57 136   # OK

settings="$work/data/Kembra Entertainment/Quillo Tovra/videosettings.ini"
for _ in $(seq 100); do
  [ -s "$settings" ] && break
  sleep 0.2
done
[ -s "$settings" ] || fail "OK wrote no videosettings.ini"
grep -q 'Fullscreen="No (Window mode)"' "$settings" || fail "the choice was not saved: $(cat "$settings")"
grep -q "counts as cancelled" "$work/out" && fail "the dialog was not shown"
echo "settings dialog: shown, clicked and saved; screenshot in $picture"
